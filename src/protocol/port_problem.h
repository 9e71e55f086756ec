#pragma once
// Why the port will not open, logged where a page reports that it did not:
// the box keeps the system's words, and the log gets the reason and the fix.

#include <string>

#include "protocol/run_state.h"

namespace rv4410 {

// Writes the host's account of why `portName` will not open to the log, as a
// line of its own; writes nothing when the host can tell no reason.
inline void LogPortProblem(RunState& run, const std::string& portName) {
  std::string reason = run.host.DescribePortProblem(portName);
  if (!reason.empty()) run.log.LogLine(reason);
}

}  // namespace rv4410
