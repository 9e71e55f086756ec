#pragma once
// The waiting page's window, "Waiting...": the page picture, the plug-in
// instruction, "< &Back" and "Cancel", and a hidden "&Next >" with its hint.
// Enter is the page's default command. The logic lives in protocol/waiting_page.

#include "protocol/run_state.h"
#include "protocol/waiting_page.h"
#include "wizard/win32/win32_dialog.h"

namespace rv4410 {

class Win32WaitingDialog : public Win32Dialog, public WaitingPage {
 public:
  Win32WaitingDialog(RunState& run, MapRequirement map);

  int Run() override { return RunModal(); }
  void EndPage(int result) override;
  void StartTimer(std::int64_t ms) override;
  void StopTimer() override;
  void PostDefaultCommand() override;
  void DisableNext() override;
  void SetApplicationIcon() override { SetClassIcon(); }
  WindowRef Window() const override { return Handle(); }

 protected:
  void OnInit() override;
  void OnCommand(int id) override;
  void OnClose() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

 private:
  void Command(WaitingCommand command);

  RunState& run_;
  MapRequirement map_;
};

}  // namespace rv4410
