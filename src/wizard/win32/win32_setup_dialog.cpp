#include "wizard/win32/win32_setup_dialog.h"

#include <vector>

#include "wizard/win32/resource_ids.h"
#include "wizard/win32/win32_comms_dialog.h"

namespace rv4410 {

Win32SetupDialog::Win32SetupDialog(RunState& run, DataFiles& files)
    : Win32Dialog(IDD_SETUP, nullptr), run_(run), files_(files) {}

void Win32SetupDialog::OnInit() {
  SetTexts(kSetupCaption, {{IDC_SETUP_GROUP, kSetupFunctionGroupText},
                           {kWriteProgram, kWriteProgramText},
                           {kReadConfiguration, kReadConfigurationText},
                           {kWriteConfiguration, kWriteConfigurationText},
                           {kWriteMap, kWriteMapText},
                           {IDC_SETUP_CONFIG_LABEL, kSetupConfigLabelText},
                           {kSetupProgramFind, kFindButtonText},
                           {kSetupConfigFind, kFindButtonText},
                           {kSetupMapFind, kFindButtonText},
                           {kSetupCommsButton, kCommsButtonText},
                           {kSetupBackButton, kSetupBackText},
                           {kSetupNextButton, kSetupNextText},
                           {kSetupCancelButton, kSetupCancelText}});
  SetupPageOpen(run_, *this);
}

void Win32SetupDialog::PostCommand(int command) {
  PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
}

std::string Win32SetupDialog::FieldText(int field) const {
  HWND item = Item(field);
  if (item == nullptr) return {};
  std::vector<char> text(static_cast<std::size_t>(GetWindowTextLengthA(item)) + 1, '\0');
  GetWindowTextA(item, text.data(), static_cast<int>(text.size()));
  return text.data();
}

void Win32SetupDialog::SetFieldText(int field, const std::string& text) {
  SetDlgItemTextA(Handle(), field, text.c_str());
}

void Win32SetupDialog::CheckRadioButton(int button) {
  ::CheckRadioButton(Handle(), kWriteProgram, kWriteMap, button);
}

bool Win32SetupDialog::IsRadioChecked(int button) const {
  return IsDlgButtonChecked(Handle(), button) == BST_CHECKED;
}

void Win32SetupDialog::EnableControl(int control, bool enabled) {
  EnableWindow(Item(control), enabled ? TRUE : FALSE);
}

void Win32SetupDialog::OpenComms() {
  Win32CommsDialog dialog(run_, Handle());
  DoComms(run_, dialog);
}

void Win32SetupDialog::OnCommand(int id) {
  // Enter with no default button sends IDOK: the page's default command.
  Command(id == IDOK ? kSetupNextButton : id);
}

void Win32SetupDialog::OnClose() {
  Command(kSetupCloseRequest);
}

void Win32SetupDialog::Command(int command) {
  // The back button never acts.
  if (command == kSetupBackButton || HasEnded()) return;
  SetupPageCommand(run_, files_, *this, command);
}

}  // namespace rv4410
