#pragma once
// The waiting page: opens the port, gets the unit's attention, asks it to
// identify itself and decides whether the selected function may go ahead.
// The logic is here; the window that shows it implements WaitingPage and
// calls the handlers below on its events.

#include <cstdint>

#include "platform/host.h"
#include "protocol/port_problem.h"
#include "protocol/run_state.h"
#include "protocol/unit_detection.h"

namespace rv4410 {

inline constexpr const char* kWaitingCaption = "Waiting...";
inline constexpr const char* kWaitingText =
    "Looking for unit...\nPlease plug unit into serial port and turn the\npower ON.";
inline constexpr const char* kWaitingBackText = "< &Back";
inline constexpr const char* kWaitingCancelText = "Cancel";
inline constexpr const char* kWaitingNextText = "&Next >";
inline constexpr const char* kWaitingHintText = "Press Next to go on.";
inline constexpr const char* kDoWaitingLogLine = "... DoWaiting()";

// The page lets the user plug in and power the unit before it starts talking.
inline constexpr std::int64_t kWaitingStartMs = 1000;
// Identification queries per visit; the first valid reply ends them.
inline constexpr int kIdentificationQueries = 3;
// The step of the page's handshake, for a command line that ran out of time.
inline constexpr const char* kStepLookingForUnit = "looking for the unit";

enum class WaitingCommand {
  kNext,    // "&Next >" or the default command (Enter, or posted by the page itself)
  kBack,    // "< &Back"
  kCancel,  // "Cancel"
  kClose,   // a close request (the window's close box, Escape)
};

class WaitingPage {
 public:
  virtual ~WaitingPage() = default;
  // Shows the page modally: calls WaitingPageOpen as it opens, the handlers on
  // its events, and returns the result it was ended with.
  virtual int Run() = 0;
  // Ends the page with `result`; it closes once control returns to it. Only
  // the first end counts.
  virtual void EndPage(int result) = 0;
  // Starts the one-shot start timer; when it fires the page calls WaitingPageTimer.
  virtual void StartTimer(std::int64_t ms) = 0;
  // Stops the start timer if it has not fired yet.
  virtual void StopTimer() = 0;
  // Queues the default command, as if Enter had been pressed.
  virtual void PostDefaultCommand() = 0;
  // Disables "&Next >" and the hint line.
  virtual void DisableNext() = 0;
  virtual void SetApplicationIcon() = 0;
  // The page window, as owner of its boxes.
  virtual WindowRef Window() const = 0;
  // How the page's work ended, told once before the page ends: done when the
  // unit was found (or the user went on without it), kNoPort, kLineGone,
  // kNoAnswer (the run's wait limit), kFileRefused (the map does not fit the
  // unit), kCancelled. The windows need nothing of it; the command line
  // takes its exit code from it.
  virtual void ReportOutcome(const Outcome& /*outcome*/) {}
};

// Logs "... DoWaiting()", clears UnitInfoValid and runs the page; its port is
// closed when it has ended. Returns its result: 0 leave, 1000 back, 1001 go
// on to the transfer page, 1002 unit unsuitable.
int DoWaiting(RunState& run, WaitingPage& page);

// The page's opening: icon, Next disabled for Write Map, the cancel flag
// cleared, the port opened ("Could not open %s." and result 0 when it cannot
// be), and the start timer.
void WaitingPageOpen(RunState& run, WaitingPage& page);

// The start timer's one tick: the attention handshake, then up to three
// identification queries, then the default command posted to the page. Stops
// early when the page has been ended meanwhile. A line that went away ends
// the page with 0 after an "Error" box saying so, as a port that does not
// open does; a handshake the run's wait limit ended ends it with 0 quietly.
void WaitingPageTimer(RunState& run, WaitingPage& page);

// A button, the default command or a close request. Every one stops the start
// timer, sets CancelRequested, closes the port and ends the page; Next first
// checks the unit against `map` for Write Map and refuses an unsuitable one
// in an "Error" box owned by the page (result 1002).
void WaitingPageCommand(RunState& run, WaitingPage& page, WaitingCommand command,
                        const MapRequirement& map);

}  // namespace rv4410
