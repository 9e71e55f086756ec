#pragma once
// The host layer: everything the loader's logic needs of the platform. The
// logic reaches the operating system and the user only through these calls,
// so that it runs unchanged on the Qt host, on a virtual host in tests and,
// later, on a headless command-line host.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/port_diagnosis.h"

namespace rv4410 {

class SerialDevice;

enum class BoxIcon { kNone, kError, kWarning, kInformation };
enum class BoxButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };
enum class BoxAnswer { kOk, kCancel, kYes, kNo };
enum class CursorShape { kArrow, kWait, kAppStarting };

// The answer that lets nothing go ahead: No, Cancel, or OK to a notice.
inline BoxAnswer SafestAnswer(BoxButtons buttons) {
  switch (buttons) {
    case BoxButtons::kYesNo:
      return BoxAnswer::kNo;
    case BoxButtons::kOkCancel:
    case BoxButtons::kYesNoCancel:
      return BoxAnswer::kCancel;
    case BoxButtons::kOk:
      break;
  }
  return BoxAnswer::kOk;
}

// The button's word, as the log and the command line show an answer.
inline const char* BoxAnswerName(BoxAnswer answer) {
  switch (answer) {
    case BoxAnswer::kOk:
      return "OK";
    case BoxAnswer::kCancel:
      return "Cancel";
    case BoxAnswer::kYes:
      return "Yes";
    case BoxAnswer::kNo:
      return "No";
  }
  return "?";
}

// An opaque reference to the page window that owns a box; null for a box
// without owner. Only the host that created the page knows what it is.
using WindowRef = const void*;

// The caption of every box that tells of a failure, whichever layer found it.
inline constexpr const char* kErrorCaption = "Error";

// One modal question or notice. Every box blocks the whole program until
// it is answered ("task-modal").
struct MessageBoxRequest {
  std::string text;
  std::string caption;
  BoxIcon icon = BoxIcon::kNone;
  BoxButtons buttons = BoxButtons::kOk;
  WindowRef owner = nullptr;
};

// One choice of the file-open dialog's type list: the text shown and its pattern.
struct FileFilter {
  std::string text;
  std::string pattern;
};

// The file-open dialog: the filters with the first selected, the title and the owner.
struct FileChoiceRequest {
  std::string title;
  std::vector<FileFilter> filters;
  WindowRef owner = nullptr;
};

class Host {
 public:
  virtual ~Host() = default;

  // Monotonic milliseconds. 64 bits, so a deadline computed as now + N never wraps.
  virtual std::int64_t TickCount() = 0;

  // Runs the user events that are pending now; never blocks.
  virtual void PumpMessages() = 0;

  // Sleeps until serial input arrives, a user event is pending, or the tick
  // count reaches `deadline`, whichever comes first; runs the pending user
  // events before returning. Returns at once when the deadline has passed.
  // Callers loop: while (!condition && TickCount() < deadline) WaitForEvent(deadline).
  virtual void WaitForEvent(std::int64_t deadline) = 0;

  // As WaitForEvent, but serial input does not end the sleep: it gathers
  // meanwhile, so that a line arriving at a low speed costs a few wakes
  // rather than one per character. User events still end it at once.
  virtual void WaitForUserEvent(std::int64_t deadline) { WaitForEvent(deadline); }

  // Shows a modal box and returns the button pressed.
  virtual BoxAnswer ShowMessageBox(const MessageBoxRequest& request) = 0;

  virtual void Beep() = 0;
  virtual void SetCursor(CursorShape shape) = 0;

  // Wall-clock time, for the log banner and the map database's validity dates.
  virtual std::time_t WallClock() = 0;

  // The modal file-open dialog. Empties `path` first; true, with the chosen
  // full path in `path`, when the user confirmed a file. A name that does not
  // exist yet may be given (the dialog creates nothing); its folder must exist.
  virtual bool ChooseFile(const FileChoiceRequest& request, std::string& path) = 0;

  // Whether the program has been asked to end (SIGINT or SIGTERM on the
  // command line). Work that runs without waiting, such as reading a large
  // file, looks at it between pieces and ends early, quietly. On the desktop
  // the pages end work through their buttons, so there it stays false.
  virtual bool StopRequested() { return false; }

  // What stands behind the port name ("COM1") now: the device it reaches and
  // whether that is there, in use or closed to this user. Opens nothing.
  virtual PortDiagnosis DiagnosePort(const std::string& portName) = 0;

  // Why the port name will not open, as one line for the log (with the fix
  // where there is one); empty when no reason can be told.
  std::string DescribePortProblem(const std::string& portName) {
    return DescribePortDiagnosis(portName, DiagnosePort(portName));
  }

  // The one serial device of this host.
  virtual SerialDevice& Serial() = 0;
};

}  // namespace rv4410
