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

// The read under a guard: whatever escapes it is reported, and the read
// counts as failed.
int GuardedReadConfiguration(RunState& run) {
  try {
    return ReadConfiguration(run);
  } catch (...) {
    AskRetryAfterError(run, kExceptionError);
    return kReadStopped;
  }
}

void RunReadConfiguration(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  page.EnableExit(true);
  int result = GuardedReadConfiguration(run);
  if (StoppedByUser(run)) return;
  if (result != kReadDone) {
    EndWithRetryQuestion(run, page, kProblemReadingConfiguration);
    return;
  }
  run.host.Beep();
  run.log.LogPrintf(kDoneLog);
  SerialClose(run.link);
  CommonEnding(state, page);
}

void RunWriteConfiguration(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  page.EnableExit(true);
  if (WriteConfiguration(run) == kWriteFileError) {
    // Nothing was sent and the user has been told: no answer to wait for.
    SerialClose(run.link);
    state.OperationRunning = false;
    page.ShowCursor(CursorShape::kArrow);
    return;
  }
  ReplyBuffer reply{};
  int n = ReceiveLine(run, reply.data(), kWrittenListReplyMs);
  if (StoppedByUser(run)) return;
  if (CheckReply(run, reply.data(), n, "OK", kUnitRepliedError) == 1) return;
  // The technician has written the list back by hand: no program upload
  // owes it to a unit any more.
  ClearPendingRestore(run, run.settings.configFile, kClearedByWriteConfiguration);
  PauseWithMessages(run, kResetPauseMs);
  // A page ended during the pause has closed the port; nothing more to say.
  if (run.CancelRequested) return;
  if (run.UnitInfoValid) {
    SendLine(run, "RESET\r");
    run.log.LogPrintf(kResettingUnit);
  } else {
    run.log.LogPrintf(kUnitNeedsReset);
  }
  run.host.Beep();
  run.log.LogPrintf(kDoneLog);
  SerialClose(run.link);
  CommonEnding(state, page);
}

void UploadEnding(LoaderState& state, TransferPageWindow& page) {
  page.EnableExit(true);
  page.ShowCursor(CursorShape::kArrow);
  state.OperationRunning = false;
  state.BusyCursor = false;
}

}  // namespace

int DoTransfer(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  run.log.LogLine(kDoTransferLogLine);
  TransferPageInstall install(run, page);
  int result = page.Run();
  // The page's text control goes with the page; the log must not keep it.
  run.log.LogWindowDetach();
  return result;
}

void TransferPageOpen(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  page.SetApplicationIcon();
  state.BusyCursor = false;
  run.CancelRequested = false;
  if (SerialOpen(run.link) != 1) {
    ReportCouldNotOpen(run, page.Window(), kQuittingCaption);
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
  switch (run.settings.function) {
    case kWriteProgram:
      if (run.UnitInfoValid) {
        UploadProgram(state, page);
      } else {
        UploadProgramRaw(state, page);
      }
      UploadEnding(state, page);
      return;
    case kWriteMap:
      UploadMap(state, page);
      UploadEnding(state, page);
      return;
    case kReadConfiguration:
      RunReadConfiguration(state, page);
      return;
    case kWriteConfiguration:
      RunWriteConfiguration(state, page);
      return;
  }
}

void TransferPageCommand(LoaderState& state, TransferPageWindow& page, TransferCommand command) {
  RunState& run = state.run;
  // Every command ends the page: a timer that has not fired yet must not
  // start an operation behind it.
  page.StopTimer();
  if (command == TransferCommand::kClose) run.log.LogWindowDetach();
  run.CancelRequested = true;
  SerialCloseNow(run.link);
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
