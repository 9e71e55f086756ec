#include "wizard/win32/edit_log_window.h"

#include <string>

namespace rv4410 {

EditLogWindow::~EditLogWindow() {
  ClearLogFont();
}

void EditLogWindow::Bind(HWND edit) {
  edit_ = edit;
  // No limit but the system's: the log trims the text itself.
  if (edit_ != nullptr) Send(EM_SETLIMITTEXT, 0, 0);
}

LRESULT EditLogWindow::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
  return edit_ != nullptr ? SendMessageA(edit_, message, wParam, lParam) : 0;
}

int EditLogWindow::TextLength() const {
  // The end of the text: the start of the last line and that line's length.
  auto lines = static_cast<WPARAM>(Send(EM_GETLINECOUNT, 0, 0));
  if (lines == 0) return 0;
  auto lastStart = Send(EM_LINEINDEX, lines - 1, 0);
  if (lastStart < 0) return 0;
  return static_cast<int>(lastStart + Send(EM_LINELENGTH, static_cast<WPARAM>(lastStart), 0));
}

int EditLogWindow::LineStart(int line) const {
  if (edit_ == nullptr || line < 0) return -1;
  return static_cast<int>(Send(EM_LINEINDEX, static_cast<WPARAM>(line), 0));
}

void EditLogWindow::Replace(int from, int to, const char* text) {
  Send(EM_SETSEL, static_cast<WPARAM>(from), static_cast<LPARAM>(to));
  Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
}

void EditLogWindow::RemoveLeading(int count) {
  if (count > 0) Replace(0, count, "");
}

void EditLogWindow::Append(std::string_view text) {
  if (text.empty()) return;
  int end = TextLength();
  // Replacing the empty selection at the end appends and scrolls to it.
  Replace(end, end, std::string(text).c_str());
}

void EditLogWindow::SetLogFont(const char* family, int pixelHeight) {
  ClearLogFont();
  // Every attribute but the height and the face left at its default.
  font_ = CreateFontA(pixelHeight, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, family);
  Send(WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
}

void EditLogWindow::ClearLogFont() {
  if (font_ == nullptr) return;
  // The control goes back to the dialog's font before this one is deleted.
  HWND dialog = edit_ != nullptr ? GetParent(edit_) : nullptr;
  Send(WM_SETFONT, dialog != nullptr ? SendMessageA(dialog, WM_GETFONT, 0, 0) : 0, TRUE);
  DeleteObject(font_);
  font_ = nullptr;
}

}  // namespace rv4410
