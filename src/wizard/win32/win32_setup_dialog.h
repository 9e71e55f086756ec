#pragma once
// The setup page's window (dialog "Setup"): the function's radio buttons, the
// three file fields with their "Find ..." buttons and the page buttons. The
// logic lives in wizard/setup_page.

#include "datafiles/loaded_image.h"
#include "protocol/run_state.h"
#include "wizard/setup_page.h"
#include "wizard/win32/win32_dialog.h"

namespace rv4410 {

class Win32SetupDialog : public Win32Dialog, public SetupPage {
 public:
  Win32SetupDialog(RunState& run, DataFiles& files);

  int Run() override { return RunModal(); }
  void EndPage(int result) override { End(result); }
  void PostCommand(int command) override;
  void SetApplicationIcon() override { SetClassIcon(); }
  std::string FieldText(int field) const override;
  void SetFieldText(int field, const std::string& text) override;
  void CheckRadioButton(int button) override;
  bool IsRadioChecked(int button) const override;
  void EnableControl(int control, bool enabled) override;
  void OpenComms() override;
  WindowRef Window() const override { return Handle(); }

 protected:
  void OnInit() override;
  void OnCommand(int id) override;
  void OnClose() override;

 private:
  void Command(int command);

  RunState& run_;
  DataFiles& files_;
};

}  // namespace rv4410
