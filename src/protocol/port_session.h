#pragma once
// The open port of a page. The page's logic opens it when the page opens and
// ends it once the page's work has ended; a stop the user asks for closes it
// at once. Operations never close it: they return how they ended, and the
// page's logic ends the session with that outcome. (Within an operation the
// protocol reopens the same device to change speed.)

#include "protocol/outcome.h"

namespace rv4410 {

struct RunState;

class PortSession {
 public:
  explicit PortSession(RunState& run) : run_(run) {}
  PortSession(const PortSession&) = delete;
  PortSession& operator=(const PortSession&) = delete;

  // Opens the port of the settings at their speed (SerialOpen). False when it
  // will not open; nothing is shown.
  bool Open();
  // The logic's own ending: what was written leaves the wire, then the port
  // closes (SerialClose). Nothing happens when it is closed already.
  void End();
  // Ends the session as `outcome` says: at once after the user's stop, as
  // End() after every other ending.
  void EndAfter(const Outcome& outcome);
  // A stop the user asked for: CancelRequested is set, so that the operation
  // in progress returns at its next check, and the port closes at once,
  // dropping what the abandoned exchange queued (SerialCloseNow).
  void Stop();

 private:
  RunState& run_;
};

}  // namespace rv4410
