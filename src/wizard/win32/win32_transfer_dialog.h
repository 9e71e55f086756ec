#pragma once
// The transfer page's window, "Transfer Status": the page picture, the log
// window on a multi-line edit control, the progress bar and two status
// fields, "< &Back" and "Exit". The logic lives in uploads/transfer_driver.

#include "uploads/transfer_driver.h"
#include "wizard/win32/edit_log_window.h"
#include "wizard/win32/win32_dialog.h"

namespace rv4410 {

class Win32TransferDialog : public Win32Dialog, public TransferPageWindow {
 public:
  explicit Win32TransferDialog(LoaderState& state);

  int Run() override { return RunModal(); }
  void EndPage(int result) override;
  void SetStatusText(int field, std::string_view text) override;
  WindowRef Window() const override { return Handle(); }
  void StartTimer(std::int64_t ms) override;
  void StopTimer() override;
  void SetApplicationIcon() override { SetClassIcon(); }
  void SetProgressRange(int minimum, int maximum, int step) override;
  void SetProgress(int position) override;
  void EnableExit(bool enabled) override;
  void ShowCursor(CursorShape shape) override;
  LogWindow& LogControl() override { return log_; }
  bool Ended() const override { return HasEnded(); }

 protected:
  void OnInit() override;
  void OnCommand(int id) override;
  void OnClose() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void Command(TransferCommand command);

  LoaderState& state_;
  EditLogWindow log_;
};

}  // namespace rv4410
