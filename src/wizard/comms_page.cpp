#include "wizard/comms_page.h"

#include "protocol/boxes.h"
#include "protocol/command_lines.h"
#include "protocol/port_problem.h"

namespace rv4410 {

namespace {

constexpr int kFallbackPortButton = 1021;  // COM1
constexpr int kFallbackRateButton = 1004;  // 9600
// "OK" with no port or rate button known checked (cannot happen on the page):
// the last of each group, as the buttons are tested in order.
constexpr const char* kLastPortName = "COM4";
constexpr int kLastBaud = 115200;

std::string CheckedPortName(const CommsPage& page) {
  for (const CommsPortButton& port : kCommsPorts) {
    if (page.IsButtonChecked(port.id)) return port.name;
  }
  return kLastPortName;
}

int CheckedBaud(const CommsPage& page) {
  for (const CommsRateButton& rate : kCommsRates) {
    if (page.IsButtonChecked(rate.id)) return rate.baud;
  }
  return kLastBaud;
}

void ShowPortStates(RunState& run, CommsPage& page) {
  for (const CommsPortButton& port : kCommsPorts) {
    page.ShowPortState(port.id, run.host.DiagnosePort(port.name));
  }
}

void Confirm(RunState& run, CommsPage& page) {
  run.settings.portName = CheckedPortName(page);
  run.settings.baudRate = CheckedBaud(page);
  if (SerialOpen(run.link) == 1) {
    SerialClose(run.link);
    page.EndPage(1);
    return;
  }
  const std::string& port = run.settings.portName;
  std::string text = FormatText(kDidNotOpenFormat, port.c_str());
  ShowBox(run, {text, kErrorCaption, BoxIcon::kError, BoxButtons::kOk, page.Window()});
  LogPortProblem(run, port);
  // What stands behind each name may have changed since the dialog opened.
  ShowPortStates(run, page);
}

}  // namespace

int PortButtonFor(const std::string& portName) {
  for (const CommsPortButton& port : kCommsPorts) {
    if (portName == port.name) return port.id;
  }
  return kFallbackPortButton;
}

int RateButtonFor(int baud) {
  for (const CommsRateButton& rate : kCommsRates) {
    if (baud == rate.baud) return rate.id;
  }
  return kFallbackRateButton;
}

int DoComms(RunState& run, CommsPage& page) {
  run.log.LogLine(kDoCommsLogLine);
  return page.Run();
}

void CommsPageOpen(RunState& run, CommsPage& page) {
  page.SetApplicationIcon();
  page.CheckButton(PortButtonFor(run.settings.portName));
  page.CheckButton(RateButtonFor(run.settings.baudRate));
  ShowPortStates(run, page);
}

void CommsPageCommand(RunState& run, CommsPage& page, int command) {
  switch (command) {
    case kCommsOkButton:
      Confirm(run, page);
      return;
    case kCommsCancelButton:
    case kCommsCloseRequest:
      page.EndPage(0);
      return;
    default:
      return;
  }
}

}  // namespace rv4410
