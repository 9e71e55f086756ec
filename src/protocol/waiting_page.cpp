#include "protocol/waiting_page.h"

#include <string>

#include "protocol/boxes.h"
#include "protocol/command_lines.h"
#include "protocol/page_results.h"

namespace rv4410 {

namespace {

// The page ends itself: nothing more to look for on this line.
void EndWithout(RunState& run, WaitingPage& page, const Outcome& outcome) {
  run.CancelRequested = true;
  run.port.EndAfter(outcome);
  if (!outcome.message.empty()) run.log.LogPrintf("%s\r\n", outcome.message.c_str());
  // A device that went away is reported as one that does not open.
  if (outcome.ending == Ending::kLineGone) {
    ShowBox(run, {outcome.message, kErrorCaption, BoxIcon::kError, BoxButtons::kOk, nullptr},
            BoxLine::kLoggedAlready);
  }
  page.ReportOutcome(outcome);
  page.EndPage(kPageLeave);
}

void RefuseUnit(RunState& run, WaitingPage& page, const Outcome& refusal) {
  ShowBox(run, {refusal.reason, kErrorCaption, BoxIcon::kError, BoxButtons::kOk, page.Window()});
  page.ReportOutcome(refusal);
  page.EndPage(kPageUnsuitable);
}

}  // namespace

int DoWaiting(RunState& run, WaitingPage& page) {
  run.log.LogLine(kDoWaitingLogLine);
  run.UnitInfoValid = false;
  int result = page.Run();
  run.port.End();
  return result;
}

void WaitingPageOpen(RunState& run, WaitingPage& page) {
  page.SetApplicationIcon();
  // A map needs the unit's identification: the user may not skip ahead.
  if (run.settings.function == kWriteMap) page.DisableNext();
  run.CancelRequested = false;
  if (!run.port.Open()) {
    ReportCouldNotOpen(run, page.Window(), kErrorCaption);
    page.ReportOutcome(Outcome::StaysOpen(Ending::kNoPort));
    page.EndPage(kPageLeave);
    return;
  }
  page.StartTimer(kWaitingStartMs);
}

void WaitingPageTimer(RunState& run, WaitingPage& page) {
  // The waits below let the page's buttons run; any of them ends the page
  // and sets CancelRequested, which stops the handshake and the queries.
  Outcome found = WaitForOk(run, HandshakeStart::kPlain, kStepLookingForUnit);
  if (run.CancelRequested) return;
  if (!found.Done()) {
    EndWithout(run, page, found);
    return;
  }
  for (int query = 0; query < kIdentificationQueries && !run.CancelRequested; ++query) {
    Outcome identified = QueryUnit(run);
    if (identified.Done()) break;
    if (identified.ending == Ending::kLineGone) {
      EndWithout(run, page, identified);
      return;
    }
  }
  if (run.CancelRequested) return;
  page.PostDefaultCommand();
}

void WaitingPageCommand(RunState& run, WaitingPage& page, WaitingCommand command,
                        const MapRequirement& map) {
  // Every command ends the page. A refusal box below runs a modal loop that
  // would still fire the start timer and let a handshake reopen the port.
  page.StopTimer();
  run.port.Stop();
  switch (command) {
    case WaitingCommand::kNext: {
      Outcome fit = CheckUnitForFunction(run, map);
      if (!fit.Done()) {
        RefuseUnit(run, page, fit);
        return;
      }
      page.ReportOutcome(fit);
      page.EndPage(kPageNext);
      return;
    }
    case WaitingCommand::kBack:
      page.ReportOutcome(Outcome::StoppedByUser());
      page.EndPage(kPageBack);
      return;
    case WaitingCommand::kCancel:
    case WaitingCommand::kClose:
      page.ReportOutcome(Outcome::StoppedByUser());
      page.EndPage(kPageLeave);
      return;
  }
}

}  // namespace rv4410
