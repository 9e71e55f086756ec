#include "uploads/transfer_driver.h"

#include <string>

#include "config/pending_restore.h"
#include "config/read_configuration.h"
#include "config/write_configuration.h"
#include "protocol/command_lines.h"
#include "protocol/page_results.h"
#include "protocol/waiting_page.h"
#include "uploads/map_upload.h"
#include "uploads/program_upload.h"
#include "uploads/upload_steps.h"

namespace rv4410 {

namespace {

// After a configuration read or write that succeeded; the page stays open.
void CommonEnding(LoaderState& state, TransferPageWindow& page) {
  state.OperationRunning = false;
  page.ShowCursor(CursorShape::kArrow);
  state.run.host.Beep();
}

// What the page does once its operation has ended: the port closed, then
// the question, the end of the page, or nothing more, as the outcome says.
// A page the user has ended gets nothing more.
Outcome Finish(RunState& run, TransferPageWindow& page, Outcome outcome) {
  if (run.CancelRequested) outcome = Outcome::StoppedByUser();
  run.port.EndAfter(outcome);
  if (outcome.WentThrough() || outcome.Cancelled()) return outcome;
  if (!outcome.message.empty()) run.log.LogPrintf("%s\r\n", outcome.message.c_str());
  switch (outcome.reaction) {
    case PageReaction::kAsks:
      page.EndPage(AskRetryAfterError(run, outcome.question.c_str()) == 1 ? kPageTryAgain
                                                                           : kPageLeave);
      break;
    case PageReaction::kLeaves:
      page.EndPage(kPageLeave);
      break;
    case PageReaction::kStaysOpen:
      break;
  }
  return outcome;
}

// The read under a guard: whatever escapes it is reported, and the read
// counts as failed.
Outcome GuardedReadConfiguration(RunState& run) {
  try {
    return ReadConfiguration(run);
  } catch (...) {
    AskRetryAfterError(run, kExceptionError);
    return Outcome::Asks(Ending::kStopped, kProblemReadingConfiguration);
  }
}

Outcome RunReadConfiguration(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  page.EnableExit(true);
  page.SetPhase(TransferPhase::kReadingConfiguration);
  Outcome outcome = GuardedReadConfiguration(run);
  if (outcome.Done() && !run.CancelRequested) {
    run.host.Beep();
    run.log.LogPrintf(kDoneLog);
  }
  outcome = Finish(run, page, outcome);
  if (outcome.Done()) CommonEnding(state, page);
  return outcome;
}

// The list, the unit's answer to it, and the reset that makes the unit take it.
Outcome WriteAndReset(RunState& run) {
  Outcome sent = WriteConfiguration(run);
  if (!sent.WentThrough()) return sent;
  ReplyBuffer reply{};
  int n = ReceiveLine(run, reply.data(), kWrittenListReplyMs);
  RV4410_TRY(AfterReceive(run, n, kOperationTimedOut));
  RV4410_TRY(CheckReply(run, reply.data(), n, "OK", kUnitRepliedError));
  // The technician has written the list back by hand: no program upload
  // owes it to a unit any more.
  ClearPendingRestore(run, run.settings.configFile, kClearedByWriteConfiguration);
  RV4410_TRY(Pause(run, kResetPauseMs));
  if (run.UnitInfoValid) {
    SendLine(run, "%s", kResetCommand);
    run.log.LogPrintf(kResettingUnit);
  } else {
    run.log.LogPrintf(kUnitNeedsReset);
  }
  run.host.Beep();
  run.log.LogPrintf(kDoneLog);
  return sent;
}

Outcome RunWriteConfiguration(LoaderState& state, TransferPageWindow& page) {
  page.EnableExit(true);
  page.SetPhase(TransferPhase::kWritingConfiguration);
  Outcome outcome = Finish(state.run, page, WriteAndReset(state.run));
  if (outcome.WentThrough()) {
    CommonEnding(state, page);
  } else if (outcome.ending == Ending::kFileRefused) {
    // Nothing was sent and the user has been told.
    state.OperationRunning = false;
    page.ShowCursor(CursorShape::kArrow);
  }
  return outcome;
}

// The map's block questions retry in place: plain Yes/No boxes without an
// owner, logged as every "Try again?" is; true on Yes.
bool AskBlockAgainInPlace(RunState& run, const char* question) {
  run.log.LogLine(std::string("Error:") + question);
  return run.host.ShowMessageBox({question, kErrorCaption, BoxIcon::kError, BoxButtons::kYesNo,
                                  nullptr}) == BoxAnswer::kYes;
}

Outcome RunUpload(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  const bool raw = run.settings.function == kWriteProgram && !run.UnitInfoValid;
  Outcome outcome;
  if (run.settings.function == kWriteMap) {
    outcome = UploadMap(state, page,
                        [&run](const char* question) { return AskBlockAgainInPlace(run, question); });
  } else if (raw) {
    outcome = UploadProgramRaw(state, page);
  } else {
    outcome = UploadProgram(state, page);
  }
  outcome = Finish(run, page, outcome);
  // The raw upload's page asks for the next unit once the unit is done.
  if (raw && outcome.WentThrough()) {
    if (AskUploadAnother(run) == 1) {
      // The next unit's configuration is its own.
      state.savedConfiguration.BeginUnit();
      page.EndPage(kPageTryAgain);
    } else {
      page.EndPage(kPageLeave);
    }
  }
  page.EnableExit(true);
  page.ShowCursor(CursorShape::kArrow);
  state.OperationRunning = false;
  state.BusyCursor = false;
  return outcome;
}

Outcome RunFunction(LoaderState& state, TransferPageWindow& page) {
  switch (state.run.settings.function) {
    case kReadConfiguration:
      return RunReadConfiguration(state, page);
    case kWriteConfiguration:
      return RunWriteConfiguration(state, page);
    case kWriteProgram:
    case kWriteMap:
      break;
  }
  return RunUpload(state, page);
}

}  // namespace

int DoTransfer(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  run.log.LogLine(kDoTransferLogLine);
  int result = page.Run();
  // The page's text control goes with the page; the log must not keep it.
  run.log.LogWindowDetach();
  run.port.End();
  return result;
}

void TransferPageOpen(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  page.SetApplicationIcon();
  state.BusyCursor = false;
  run.CancelRequested = false;
  if (!run.port.Open()) {
    ReportCouldNotOpen(run, page.Window(), kQuittingCaption);
    page.ReportOutcome(Outcome::StaysOpen(Ending::kNoPort));
    page.EndPage(kPageLeave);
    return;
  }
  page.SetProgressRange(0, kProgressMaximum, 1);
  page.SetProgress(0);
  page.StartTimer(kTransferStartMs);
}

void TransferPageTimer(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  page.StopTimer();
  run.log.LogWindowAttach(&page.LogControl());
  run.log.LogPrintf(kCommunicationsReady);
  page.EnableExit(false);
  state.OperationRunning = true;
  page.ShowCursor(CursorShape::kAppStarting);
  page.ReportOutcome(RunFunction(state, page));
}

void TransferPageCommand(LoaderState& state, TransferPageWindow& page, TransferCommand command) {
  RunState& run = state.run;
  // Every command ends the page: a timer that has not fired yet must not
  // start an operation behind it.
  page.StopTimer();
  if (command == TransferCommand::kClose) run.log.LogWindowDetach();
  run.port.Stop();
  switch (command) {
    case TransferCommand::kNext:
      page.EndPage(kPageNext);
      return;
    case TransferCommand::kBack:
      page.EndPage(kPageBack);
      return;
    case TransferCommand::kExit:
    case TransferCommand::kClose:
      page.EndPage(kPageLeave);
      return;
  }
}

CursorShape TransferPageCursor(const LoaderState& state) {
  if (state.BusyCursor) return CursorShape::kWait;
  if (state.OperationRunning) return CursorShape::kAppStarting;
  return CursorShape::kArrow;
}

int AskUploadAnother(RunState& run) {
  BoxAnswer answer = run.host.ShowMessageBox({kUploadAnotherQuestion, kUploadDoneCaption,
                                              BoxIcon::kInformation, BoxButtons::kYesNo, nullptr});
  if (answer != BoxAnswer::kYes) return 0;
  run.host.ShowMessageBox(
      {kAttachNewUnitNote, kNoteCaption, BoxIcon::kInformation, BoxButtons::kOk, nullptr});
  return 1;
}

}  // namespace rv4410
