#pragma once
// A modal dialog from a template of the program's resources, run with
// DialogBoxParamA. The page classes derive from it and answer its messages;
// the dialog ends once, with the first result it is given.

#include <initializer_list>

#include "platform/windows_api.h"

namespace rv4410 {

// The program's module: dialogs, icons and bitmaps are loaded from it.
HINSTANCE ProgramInstance();
// The application icon, loaded once; every page sets it as its class icon.
HICON AppIcon();

// A control's id and the text it shows.
struct ControlText {
  int id;
  const char* text;
};

class Win32Dialog {
 public:
  Win32Dialog(int templateId, HWND owner) : templateId_(templateId), owner_(owner) {}
  virtual ~Win32Dialog() = default;
  Win32Dialog(const Win32Dialog&) = delete;
  Win32Dialog& operator=(const Win32Dialog&) = delete;

 protected:
  // Shows the dialog modally until it has ended; returns its result.
  int RunModal();
  // Ends the dialog with `result` once control returns to its own message
  // loop, also when this runs inside a wait of one of its handlers. Only the
  // first end counts.
  void End(int result);
  bool HasEnded() const { return ended_; }
  HWND Handle() const { return window_; }
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  void SetTexts(const char* caption, std::initializer_list<ControlText> texts);
  // The application icon as the class icon of the dialog's window class.
  void SetClassIcon();

  // WM_INITDIALOG, with Handle() set.
  virtual void OnInit() = 0;
  // A command (WM_COMMAND) that is a plain click, Enter or Escape.
  virtual void OnCommand(int /*id*/) {}
  // The window's close request (WM_CLOSE).
  virtual void OnClose() {}
  // Any other message; true when handled, with the dialog's `result`.
  virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                         INT_PTR& /*result*/) {
    return false;
  }

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  int templateId_;
  HWND owner_;
  HWND window_ = nullptr;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace rv4410
