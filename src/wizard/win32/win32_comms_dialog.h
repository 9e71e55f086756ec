#pragma once
// The communications dialog's window, "Communications Parameters": the four
// port names, each beside what the system calls the port behind it, the other
// ports the system has, and the eight rates. The logic lives in
// wizard/comms_page.

#include <vector>

#include "platform/win32_port_names.h"
#include "protocol/run_state.h"
#include "wizard/comms_page.h"
#include "wizard/win32/win32_dialog.h"

namespace rv4410 {

class Win32CommsDialog : public Win32Dialog, public CommsPage {
 public:
  Win32CommsDialog(RunState& run, HWND owner);

  int Run() override { return RunModal(); }
  void EndPage(int result) override { End(result); }
  void SetApplicationIcon() override { SetClassIcon(); }
  void CheckButton(int button) override;
  bool IsButtonChecked(int button) const override;
  void ShowPortState(int button, const PortDiagnosis& diagnosis) override;
  WindowRef Window() const override { return Handle(); }

 protected:
  void OnInit() override;
  void OnCommand(int id) override;
  void OnClose() override;

 private:
  void Command(int command);

  RunState& run_;
  // The ports present when the dialog opened.
  std::vector<Win32Port> ports_;
};

// What the dialog shows beside a port name: the system's name for the port
// ("USB Serial Port (COM3)") when it has one and the port is usable, else the
// state in a word.
std::string PortLabel(const PortDiagnosis& diagnosis, const std::vector<Win32Port>& ports);

// The ports present beyond COM1 .. COM4, for the line below the port buttons;
// empty when there are none.
std::string OtherPortsLine(const std::vector<Win32Port>& ports);

}  // namespace rv4410
