#include "wizard/win32/win32_comms_dialog.h"

#include <string>

#include "protocol/waiting_page.h"
#include "wizard/win32/resource_ids.h"

namespace rv4410 {

namespace {

constexpr const char* kOtherPortsWord = "Also here: ";

int GroupFirst(int button) {
  return button >= kCommsPorts[0].id ? kCommsPorts[0].id : kCommsRates[0].id;
}

int GroupLast(int button) {
  return button >= kCommsPorts[0].id ? kCommsPorts[std::size(kCommsPorts) - 1].id
                                     : kCommsRates[std::size(kCommsRates) - 1].id;
}

}  // namespace

std::string PortLabel(const PortDiagnosis& diagnosis, const std::vector<Win32Port>& ports) {
  if (diagnosis.state == PortState::kFound) {
    for (const Win32Port& port : ports) {
      if (port.name == diagnosis.device && !port.friendlyName.empty()) return port.friendlyName;
    }
  }
  return PortStateWord(diagnosis.state);
}

std::string OtherPortsLine(const std::vector<Win32Port>& ports) {
  std::string line;
  for (const Win32Port& port : ports) {
    bool offered = false;
    for (const CommsPortButton& button : kCommsPorts) offered |= port.name == button.name;
    if (offered) continue;
    line += line.empty() ? kOtherPortsWord : ", ";
    line += port.friendlyName.empty() ? port.name : port.friendlyName;
  }
  return line;
}

Win32CommsDialog::Win32CommsDialog(RunState& run, HWND owner)
    : Win32Dialog(IDD_COMMS, owner), run_(run) {}

void Win32CommsDialog::OnInit() {
  SetTexts(kCommsCaption, {{IDC_COMMS_PORT_GROUP, kCommsPortGroupText},
                           {IDC_COMMS_RATE_GROUP, kCommsRateGroupText},
                           {kCommsOkButton, kCommsOkText},
                           {kCommsCancelButton, kWaitingCancelText}});
  for (const CommsPortButton& port : kCommsPorts) SetDlgItemTextA(Handle(), port.id, port.name);
  for (const CommsRateButton& rate : kCommsRates) {
    SetDlgItemTextA(Handle(), rate.id, std::to_string(rate.baud).c_str());
  }
  ports_ = FindWin32Ports();
  SetDlgItemTextA(Handle(), IDC_COMMS_OTHER_PORTS, OtherPortsLine(ports_).c_str());
  CommsPageOpen(run_, *this);
}

void Win32CommsDialog::CheckButton(int button) {
  CheckRadioButton(Handle(), GroupFirst(button), GroupLast(button), button);
}

bool Win32CommsDialog::IsButtonChecked(int button) const {
  return IsDlgButtonChecked(Handle(), button) == BST_CHECKED;
}

void Win32CommsDialog::ShowPortState(int button, const PortDiagnosis& diagnosis) {
  for (std::size_t i = 0; i < std::size(kCommsPorts); ++i) {
    if (kCommsPorts[i].id != button) continue;
    SetDlgItemTextA(Handle(), IDC_COMMS_PORT_NAME_FIRST + static_cast<int>(i),
                    PortLabel(diagnosis, ports_).c_str());
  }
}

void Win32CommsDialog::OnCommand(int id) {
  // The radio buttons check themselves; only OK and Cancel are commands.
  if (id == kCommsOkButton || id == kCommsCancelButton) Command(id);
}

void Win32CommsDialog::OnClose() {
  Command(kCommsCloseRequest);
}

void Win32CommsDialog::Command(int command) {
  if (!HasEnded()) CommsPageCommand(run_, *this, command);
}

}  // namespace rv4410
