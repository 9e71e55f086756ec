#pragma once
// The communications dialog, opened from the setup page: the user picks the
// port name and the baud rate, and "OK" proves them by opening the port once.
// Each port button also shows the device its name reaches and whether that is
// there, in use or closed to this user. The logic is here; the window
// implements CommsPage.

#include <string>

#include "platform/host.h"
#include "protocol/run_state.h"

namespace rv4410 {

inline constexpr const char* kCommsCaption = "Communications Parameters";
inline constexpr const char* kCommsPortGroupText = "Serial Port";
inline constexpr const char* kCommsRateGroupText = "Baud Rate";
inline constexpr const char* kCommsOkText = "OK";
inline constexpr const char* kDidNotOpenFormat = "Did not open %s.";
inline constexpr const char* kDoCommsLogLine = "... DoComms()";

inline constexpr int kCommsOkButton = 1;
inline constexpr int kCommsCancelButton = 2;
// A close request (the window's close box, Escape), as a command.
inline constexpr int kCommsCloseRequest = -1;

struct CommsPortButton {
  int id;
  const char* name;
};
struct CommsRateButton {
  int id;
  int baud;
};
inline constexpr CommsPortButton kCommsPorts[] = {
    {1021, "COM1"}, {1022, "COM2"}, {1023, "COM3"}, {1024, "COM4"}};
inline constexpr CommsRateButton kCommsRates[] = {{1001, 1200},  {1002, 2400},  {1003, 4800},
                                                  {1004, 9600},  {1005, 19200}, {1006, 38400},
                                                  {1007, 57600}, {1008, 115200}};

// The button of a port name (any unknown name: COM1) and of a rate (any
// unlisted rate: 9600).
int PortButtonFor(const std::string& portName);
int RateButtonFor(int baud);

class CommsPage {
 public:
  virtual ~CommsPage() = default;
  // Shows the dialog modally: calls CommsPageOpen as it opens, CommsPageCommand
  // on its commands, and returns the result it was ended with.
  virtual int Run() = 0;
  virtual void EndPage(int result) = 0;
  virtual void SetApplicationIcon() = 0;
  // Checks `button` and clears the others of its group.
  virtual void CheckButton(int button) = 0;
  virtual bool IsButtonChecked(int button) const = 0;
  // Shows beside port button `button` the device its name reaches and its state.
  virtual void ShowPortState(int button, const PortDiagnosis& diagnosis) = 0;
  virtual WindowRef Window() const = 0;
};

// Logs "... DoComms()" and runs the dialog. 1 when the user confirmed a port
// that opens, 0 on "Cancel" or a close request.
int DoComms(RunState& run, CommsPage& page);

// The opening: icon, the buttons of the current port name and rate checked,
// and the state of every port name shown.
void CommsPageOpen(RunState& run, CommsPage& page);

// "OK" stores the checked port and rate in the settings at once and opens the
// port: when it opens, closes it and ends with 1; when not, "Did not open %s."
// (the reason logged on a line of its own) and the dialog stays, the new
// settings in force. "Cancel" and a close request end with 0.
void CommsPageCommand(RunState& run, CommsPage& page, int command);

}  // namespace rv4410
