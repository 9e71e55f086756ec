#pragma once
// The host of the command line: the platform's host (Qt Core on Linux, Win32
// on Windows) for the clock, the waits and the serial device; the boxes, the
// file choices and the stop are the console's own. A box becomes a line; its
// answer comes from the options, by the rules below, and never from a person.

#include <functional>
#include <string>

#include "cli/console_output.h"
#include "platform/host.h"

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
  ConsoleHost(Host& platform, BoxRules rules, ConsoleOutput& output);

  std::int64_t TickCount() override { return platform_.TickCount(); }
  void PumpMessages() override;
  void WaitForEvent(std::int64_t deadline) override;
  void WaitForUserEvent(std::int64_t deadline) override;
  BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override;
  void Beep() override {}
  void SetCursor(CursorShape) override {}
  std::time_t WallClock() override { return platform_.WallClock(); }
  // No one is there to choose: the files come from the command line.
  bool ChooseFile(const FileChoiceRequest& request, std::string& path) override;
  PortDiagnosis DiagnosePort(const std::string& portName) override {
    return platform_.DiagnosePort(portName);
  }
  SerialDevice& Serial() override { return platform_.Serial(); }
  // SIGINT or SIGTERM, Ctrl-C or Ctrl-Break has arrived (a StopRequest catches them).
  bool StopRequested() override;

  const BoxRecord& Record() const { return record_; }
  // What runs once a stop has arrived, from the first wait or pump that sees
  // it, as a button's handler runs from the wait it ends: the page's Cancel
  // or Exit. Null: none.
  void OnStop(std::function<void()> reaction) { stopReaction_ = std::move(reaction); }

 private:
  Host& platform_;
  BoxRules rules_;
  ConsoleOutput& output_;
  // A question whose option was not given: refused, and the option named.
  void Refuse(const char* hint);
  void ReactToStop();

  std::function<void()> stopReaction_;
  BoxRecord record_;
};

}  // namespace rv4410
