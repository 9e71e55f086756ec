#include "wizard/win32/win32_dialog.h"

#include "wizard/win32/resource_ids.h"

namespace rv4410 {

HINSTANCE ProgramInstance() {
  static HINSTANCE instance = GetModuleHandleA(nullptr);
  return instance;
}

HICON AppIcon() {
  static HICON icon = LoadIconA(ProgramInstance(), MAKEINTRESOURCEA(IDI_APPLICATION_ICON));
  return icon;
}

int Win32Dialog::RunModal() {
  ended_ = false;
  result_ = 0;
  DialogBoxParamA(ProgramInstance(), MAKEINTRESOURCEA(templateId_), owner_, &Procedure,
                  reinterpret_cast<LPARAM>(this));
  window_ = nullptr;
  // A dialog that could not be created ends as after Cancel.
  return result_;
}

void Win32Dialog::End(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  if (window_ != nullptr) EndDialog(window_, result);
}

void Win32Dialog::SetTexts(const char* caption, std::initializer_list<ControlText> texts) {
  if (caption != nullptr) SetWindowTextA(window_, caption);
  for (const ControlText& text : texts) SetDlgItemTextA(window_, text.id, text.text);
}

void Win32Dialog::SetClassIcon() {
  SetClassLongPtrA(window_, GCLP_HICON, reinterpret_cast<LONG_PTR>(AppIcon()));
}

INT_PTR CALLBACK Win32Dialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<Win32Dialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    dialog->window_ = window;
    dialog->OnInit();
    // The system puts the focus on the first control that takes it.
    return TRUE;
  }
  auto* dialog = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
  if (dialog == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      // Notifications other than a click (an edit field's changes) are not commands.
      if (HIWORD(wParam) == BN_CLICKED) dialog->OnCommand(LOWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      dialog->OnClose();
      return TRUE;
    case WM_DESTROY: {
      // The page's last look at its controls; then it hears nothing more.
      INT_PTR ignored = FALSE;
      dialog->OnMessage(message, wParam, lParam, ignored);
      SetWindowLongPtrA(window, DWLP_USER, 0);
      return FALSE;
    }
    default:
      break;
  }
  INT_PTR result = FALSE;
  if (!dialog->OnMessage(message, wParam, lParam, result)) return FALSE;
  return result;
}

}  // namespace rv4410
