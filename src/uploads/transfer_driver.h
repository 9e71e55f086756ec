#pragma once
// The transfer page: opens the port, shows the running log, and one second
// later runs the function chosen on the setup page to its end inside its
// start timer. The logic is here; the window that shows it implements
// TransferPageWindow and calls the handlers below on its events.

#include <cstdint>

#include "activity_log/log_window.h"
#include "protocol/outcome.h"
#include "protocol/transfer_page.h"
#include "uploads/loader_state.h"
#include "uploads/transfer_phase.h"

namespace rv4410 {

inline constexpr const char* kTransferCaption = "Transfer Status";
inline constexpr const char* kTransferBackText = "< &Back";
inline constexpr const char* kTransferExitText = "Exit";
inline constexpr const char* kDoTransferLogLine = "... DoTransfer()";
inline constexpr const char* kQuittingCaption = "Quitting";
inline constexpr const char* kCommunicationsReady = "Communications ready\r\n";
inline constexpr const char* kDoneLog = "Done...\r\n";
inline constexpr const char* kExceptionError = "Exception Error";
inline constexpr const char* kResettingUnit = "Resetting Unit\r\n";
inline constexpr const char* kUnitNeedsReset =
    "\r\nUnit needs to be reset \r\nto restore the configuration\r\n\r\n";
inline constexpr const char* kUploadAnotherQuestion =
    "Program upload completed\nUpload to another unit?";
inline constexpr const char* kUploadDoneCaption = "Done";
inline constexpr const char* kAttachNewUnitNote =
    "Please remove the unit and\nattach a new unit to be upgraded...";

// The page lets itself be seen before the first exchange.
inline constexpr std::int64_t kTransferStartMs = 1000;
// The unit's "OK" to a whole configuration list written to it.
inline constexpr std::int64_t kWrittenListReplyMs = 5000;
// The unit stores the list before it can take a reset.
inline constexpr std::int64_t kResetPauseMs = 2000;
inline constexpr int kProgressMaximum = 1000;

enum class TransferCommand {
  kNext,   // the default command (Enter) or 1001; the page has no Next button
  kBack,   // "< &Back"
  kExit,   // "Exit", also Escape
  kClose,  // the window's close control
};

class TransferPageWindow : public TransferPage {
 public:
  // Shows the page modally: calls TransferPageOpen as it opens and the
  // handlers below on its events; returns the result it was ended with.
  virtual int Run() = 0;
  // Ends the page with `result` (the page closes when control returns to it).
  // Only the page's logic ends it; the first end counts.
  virtual void EndPage(int result) = 0;
  // How the page's operation ended, told once it has (after the page has
  // reacted to it), and kNoPort when the port did not open. The windows
  // need nothing of it; the command line takes its exit code from it.
  virtual void ReportOutcome(const Outcome& /*outcome*/) {}
  // Starts the one-shot start timer; when it fires the page calls TransferPageTimer.
  virtual void StartTimer(std::int64_t ms) = 0;
  virtual void StopTimer() = 0;
  virtual void SetApplicationIcon() = 0;
  virtual void SetProgressRange(int minimum, int maximum, int step) = 0;
  // The progress bar 1016.
  virtual void SetProgress(int position) = 0;
  // The operation enters `phase`; the status fields and the progress that
  // follow belong to it. The windows show the status fields alone.
  virtual void SetPhase(TransferPhase /*phase*/) {}
  virtual void EnableExit(bool enabled) = 0;
  // Shows `shape` over the page now.
  virtual void ShowCursor(CursorShape shape) = 0;
  // The multi-line text control 1012, which becomes the log window.
  virtual LogWindow& LogControl() = 0;
  // Whether the page has been ended (the first end counts).
  virtual bool Ended() const = 0;
};

// Logs "... DoTransfer()", runs `page`, and detaches the log window once it
// is gone; its port is closed by then. Returns its result: 0 leave, 1000
// back, 1001 next, 4 detect a unit again.
int DoTransfer(LoaderState& state, TransferPageWindow& page);

// The page's opening: icon, cursor flags and CancelRequested cleared, the
// port opened ("Could not open %s." under "Quitting" and result 0 when it
// cannot be), the progress bar at 0 of 1000, and the start timer.
void TransferPageOpen(LoaderState& state, TransferPageWindow& page);

// The start timer's one tick: attaches the log window, logs
// "Communications ready", and runs the selected function to its end. Its
// outcome decides what the page does: the port is closed (at once after the
// user's stop), then the page stays open, asks the outcome's "Try again?"
// (ending with 4 on Yes, after the power-cycle note, or 0), or ends with 0;
// a raw program upload that is done asks "Upload to another unit?".
void TransferPageTimer(LoaderState& state, TransferPageWindow& page);

// A command or the close request, at any time, also while an operation runs:
// stops the page's port session (CancelRequested set, the port closed at
// once) and ends the page.
void TransferPageCommand(LoaderState& state, TransferPageWindow& page, TransferCommand command);

// The cursor the page shows: the hourglass while BusyCursor is set, else the
// working-in-background cursor while OperationRunning is set, else the arrow.
CursorShape TransferPageCursor(const LoaderState& state);

// After a finished program upload: "Upload to another unit?". 1 on Yes (after
// the note to attach the next unit), 0 on No.
int AskUploadAnother(RunState& run);

}  // namespace rv4410
