#pragma once
// The log window on a multi-line edit control: the text the log appends goes
// in at the end, lines are the control's own (it wraps long ones), and the
// log font is created for it and deleted with it.

#include "activity_log/log_window.h"
#include "platform/windows_api.h"

namespace rv4410 {

class EditLogWindow : public LogWindow {
 public:
  EditLogWindow() = default;
  ~EditLogWindow() override;
  EditLogWindow(const EditLogWindow&) = delete;
  EditLogWindow& operator=(const EditLogWindow&) = delete;

  // The control to show the log in; null once it is gone.
  void Bind(HWND edit);

  int TextLength() const override;
  int LineStart(int line) const override;
  void RemoveLeading(int count) override;
  void Append(std::string_view text) override;
  void SetLogFont(const char* family, int pixelHeight) override;
  void ClearLogFont() override;

 private:
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const;
  void Replace(int from, int to, const char* text);

  HWND edit_ = nullptr;
  HFONT font_ = nullptr;
};

}  // namespace rv4410
