#pragma once
// The command line asked to end by the system: SIGINT or SIGTERM on Linux,
// Ctrl-C or Ctrl-Break on the Windows console. The system's handler only
// sets a flag and wakes the host's wait; the work reads the flag at its next
// check (Host::StopRequested) and ends there, quietly.

namespace rv4410 {

// Whether a stop has arrived since a StopRequest was made.
bool StopRequestArrived();

// Catches the stop while it lives; the system's default comes back after.
class StopRequest {
 public:
  StopRequest();
  ~StopRequest();
  StopRequest(const StopRequest&) = delete;
  StopRequest& operator=(const StopRequest&) = delete;

  bool Arrived() const { return StopRequestArrived(); }
};

}  // namespace rv4410
