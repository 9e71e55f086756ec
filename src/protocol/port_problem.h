#pragma once
// Why the port will not open, logged where a page reports that it did not:
// the box keeps the system's words, and the log gets the reason and the fix.

#include <string>

#include "platform/format.h"
#include "protocol/boxes.h"
#include "protocol/run_state.h"

namespace rv4410 {

inline constexpr const char* kCouldNotOpenFormat = "Could not open %s.";

// Writes the host's account of why `portName` will not open to the log, as a
// line of its own; writes nothing when the host can tell no reason.
inline void LogPortProblem(RunState& run, const std::string& portName) {
  std::string reason = run.host.DescribePortProblem(portName);
  if (!reason.empty()) run.log.LogLine(reason);
}

// A page that cannot open the configured port at its start: "Could not open
// %s." in an error box owned by `owner` under `caption`, then the same text
// and the reason in the log.
inline void ReportCouldNotOpen(RunState& run, WindowRef owner, const char* caption) {
  std::string text = FormatText(kCouldNotOpenFormat, run.settings.portName.c_str());
  ShowBox(run, {text, caption, BoxIcon::kError, BoxButtons::kOk, owner});
  LogPortProblem(run, run.settings.portName);
}

}  // namespace rv4410
