#include "protocol/waiting_page.h"

#include <string>

#include "protocol/command_lines.h"
#include "protocol/page_results.h"

namespace rv4410 {

int DoWaiting(RunState& run, WaitingPage& page) {
  run.log.LogLine(kDoWaitingLogLine);
  run.UnitInfoValid = false;
  return page.Run();
}

void WaitingPageOpen(RunState& run, WaitingPage& page) {
  page.SetApplicationIcon();
  // A map needs the unit's identification: the user may not skip ahead.
  if (run.settings.function == kWriteMap) page.DisableNext();
  run.CancelRequested = false;
  if (SerialOpen(run.link) != 1) {
    ReportCouldNotOpen(run, page.Window(), kErrorCaption);
    page.EndPage(kPageLeave);
    return;
  }
  page.StartTimer(kWaitingStartMs);
}

void WaitingPageTimer(RunState& run, WaitingPage& page) {
  // The waits below let the page's buttons run; any of them ends the page
  // and sets CancelRequested, which stops the handshake and the queries.
  if (WaitForOk(run, 0) == 1 || run.CancelRequested) {
    // The device went away under the handshake, which has said so: nothing
    // more to wait for here, as when the port does not open.
    if (!run.CancelRequested) page.EndPage(kPageLeave);
    return;
  }
  for (int query = 0; query < kIdentificationQueries && !run.CancelRequested; ++query) {
    if (QueryUnit(run) == 0) break;
  }
  if (run.CancelRequested) return;
  page.PostDefaultCommand();
}

void WaitingPageCommand(RunState& run, WaitingPage& page, WaitingCommand command,
                        const MapRequirement& map) {
  // Every command ends the page. A refusal box below runs a modal loop that
  // would still fire the start timer and let a handshake reopen the port.
  page.StopTimer();
  run.CancelRequested = true;
  SerialCloseNow(run.link);
  switch (command) {
    case WaitingCommand::kNext:
      if (CheckUnitForFunction(run, page, map) == 1) return;
      page.EndPage(kPageNext);
      return;
    case WaitingCommand::kBack:
      page.EndPage(kPageBack);
      return;
    case WaitingCommand::kCancel:
    case WaitingCommand::kClose:
      page.EndPage(kPageLeave);
      return;
  }
}

}  // namespace rv4410
