#pragma once
// The host of the command line: Qt Core's event loop and QSerialPort, with
// the same waits as the desktop host. A box becomes a line; its answer comes
// from the options, by the rules below, and never from a person.

#include <functional>
#include <string>

#include "cli/console_output.h"
#include "platform/host.h"
#include "platform/qt_serial_device.h"
#include "platform/qt_waits.h"

namespace rv4410 {

// Which configuration goes back after a program upload when the loader
// cannot tell the unit from the one the saved configuration came from.
enum class RestoreRule {
  kNone,   // no --restore: the question is refused and the upload stops
  kSaved,  // --restore saved: the configuration saved before the flash write
  kUnit,   // --restore unit: the one just read from the unit
};

inline constexpr const char* kNoConfigOkHint =
    "The unit holds no configuration: give --no-config-ok to write the program without one "
    "to write back.";
inline constexpr const char* kRestoreHint =
    "The loader cannot tell whether this is the unit the saved configuration came from: give "
    "--restore saved (the configuration saved before the flash write) or --restore unit (the one "
    "just read from this unit).";

// The answers the options allow.
struct BoxRules {
  bool yes = false;                          // --yes: "Try again?" may be answered Yes ...
  int retries = 3;                           // ... at most this many times (--retries)
  bool acceptDates = false;                  // --accept-dates: go on past a map's date warning
  RestoreRule restore = RestoreRule::kNone;  // --restore saved|unit
  bool noConfigOk = false;  // --no-config-ok: a unit without configuration may be programmed
};

// What the boxes of a run have used up. No exit code is read from it: the
// exit code follows from the operations' outcomes.
struct BoxRecord {
  int retriesGranted = 0;  // "Try again?" answered Yes, bounded by --retries
};

class ConsoleHost : public Host {
 public:
  ConsoleHost(BoxRules rules, ConsoleOutput& output);

  std::int64_t TickCount() override;
  void PumpMessages() override;
  void WaitForEvent(std::int64_t deadline) override;
  void WaitForUserEvent(std::int64_t deadline) override;
  BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override;
  void Beep() override {}
  void SetCursor(CursorShape) override {}
  std::time_t WallClock() override;
  // No one is there to choose: the files come from the command line.
  bool ChooseFile(const FileChoiceRequest& request, std::string& path) override;
  PortDiagnosis DiagnosePort(const std::string& portName) override;
  SerialDevice& Serial() override { return device_; }
  // SIGINT or SIGTERM has arrived (a SignalWatch catches them).
  bool StopRequested() override;

  const BoxRecord& Record() const { return record_; }
  std::int64_t Wakeups() const { return waits_.Wakeups(); }

 private:
  BoxRules rules_;
  ConsoleOutput& output_;
  QtWaits waits_;
  QtSerialDevice device_;
  // A question whose option was not given: refused, and the option named.
  void Refuse(const char* hint);

  BoxRecord record_;
};

}  // namespace rv4410
