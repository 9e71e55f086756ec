#include "uploads/program_upload.h"

#include <algorithm>
#include <array>
#include <string>

#include "config/saved_configuration.h"
#include "config/write_configuration.h"
#include "protocol/block_frame.h"
#include "protocol/page_results.h"
#include "protocol/transfer_setup.h"
#include "uploads/upload_steps.h"

namespace rv4410 {

// The block a file holds is the block the transfer set-up sends.
static_assert(kControlBlockBytes == static_cast<std::size_t>(kControlBlockSize));

namespace {

void Status(TransferPageWindow& page, const std::string& text) {
  page.SetStatusText(kStatusField1033, text);
}

// The unit's configuration, kept before anything changes in it, and the
// list to write back afterwards chosen.
Step SaveConfiguration(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  SaveResult result = state.savedConfiguration.SaveBeforeUpload(run);
  if (StoppedByUser(run)) return Step::kStop;
  switch (result) {
    case SaveResult::kSaved:
      return Step::kGoOn;
    case SaveResult::kReadFailed:
      EndWithRetryQuestion(run, page, kProblemReadingConfiguration);
      return Step::kStop;
    case SaveResult::kStopped:
      break;
  }
  // Told already; the page stays open with the log saying why.
  SerialClose(run.link);
  return Step::kStop;
}

// Before the flash write starts, the restore it makes necessary is recorded
// beside the configuration file, so that a run ended in between leaves word
// of it for the next one.
Step RecordPendingRestore(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  std::string question =
      state.savedConfiguration.RecordBeforeFlashWrite(run, run.settings.programFile);
  if (question.empty()) return Step::kGoOn;
  EndWithRetryQuestion(run, page, question.c_str());
  return Step::kStop;
}

// Writes the configuration chosen for this unit back and checks the unit's
// answer; once the unit has taken it, the restore is no longer pending.
Step RestoreConfiguration(LoaderState& state, TransferPageWindow& page, const char* refused) {
  RunState& run = state.run;
  if (state.savedConfiguration.RestoreAfterUpload(run) == kWriteFileError) {
    EndWithRetryQuestion(run, page, kRestoreNotSent);
    return Step::kStop;
  }
  ReplyBuffer reply{};
  int n = ReceiveLine(run, reply.data(), kRestoreReplyMs);
  if (StoppedByUser(run)) return Step::kStop;
  if (CheckReply(run, reply.data(), n, "OK", refused) == 1) return Step::kStop;
  state.savedConfiguration.RestoreTaken(run);
  return Step::kGoOn;
}

// A pause with the window alive; the user may end the page in it.
Step Pause(RunState& run, std::int64_t ms) {
  PauseWithMessages(run, ms);
  return StoppedByUser(run) ? Step::kStop : Step::kGoOn;
}

Step SendBlocks(RunState& run, TransferPageWindow& page, const LoadedImage& image) {
  std::array<std::uint8_t, kDataBlockLength> padded;
  const auto total = static_cast<std::uint32_t>(image.length);
  ProgressReport progress(run, page, total);
  std::uint32_t offset = kControlBlockSize;
  std::uint32_t retries = 0;
  std::uint32_t writeErrors = 0;
  ReplyBuffer reply{};
  while (offset < total && !run.CancelRequested) {
    int length = static_cast<int>(std::min<std::uint32_t>(total - offset, kDataBlockLength));
    const std::uint8_t* block =
        image.Bytes(offset, static_cast<std::size_t>(length), padded.data());
    if (SendBlock(run, kDataBlockType, block, length, offset) < 0) {
      Status(page, FormatText(kWriteErrorCountFormat, static_cast<int>(++writeErrors)));
    }
    if (run.CancelRequested) break;
    int n = ReceiveReplyOr(run, reply, kBlockReplyMs, kNoReply);
    if (StoppedByUser(run)) return Step::kStop;
    if (n >= 0 && ReplyIsOk(reply.data())) {
      offset += static_cast<std::uint32_t>(length);
      retries = 0;
      progress.Report(offset);
      continue;
    }
    Status(page, FormatText(kRetryCountFormat, static_cast<int>(++retries)));
    if (retries < kBlockAttempts) continue;
    run.log.LogPrintf(kUnitSentFormat, reply.data());
    EndWithRetryQuestion(run, page, kUnitRepliedError);
    return Step::kStop;
  }
  return StoppedByUser(run) ? Step::kStop : Step::kGoOn;
}

// Regains the unit's attention, probes the line and has the unit burn the
// image; "Retry" starts again from the attention.
Step ResyncAndWriteFlash(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  for (;;) {
    if (WaitForOk(run, 1) == 1) return Step::kStop;
    if (Pause(run, kAfterAttentionMs) == Step::kStop) return Step::kStop;
    if (LineProbe(run, page) == Step::kStop) return Step::kStop;
    FlashAnswer answer =
        WriteFlashOnce(state, page, kProgramFlashLineMs, kFlashWriteFailed, kStatusWritingToFlash);
    if (answer == FlashAnswer::kRetry) continue;
    return answer == FlashAnswer::kDone ? Step::kGoOn : Step::kStop;
  }
}

// The unit restarts with its new program: waits it out with the window
// alive, finds the unit again and writes the saved configuration back.
Step RestartAndRestore(LoaderState& state, TransferPageWindow& page, const char* restartStatus,
                       const char* restoreStatus, const char* refused, bool busyWhileRestoring) {
  RunState& run = state.run;
  run.log.LogPrintf(kWaitingForReset);
  Status(page, restartStatus);
  // A Cancel during the restart ends the upload at the next check.
  if (Pause(run, kRestartWaitMs) == Step::kStop) return Step::kStop;
  if (WaitForOk(run, 0) == 1) return Step::kStop;
  run.log.LogPrintf(kWritingConfigurationBack);
  if (busyWhileRestoring) ShowBusy(state, page);
  Status(page, restoreStatus);
  return RestoreConfiguration(state, page, refused);
}

// One command line and its checked answer.
Step Command(RunState& run, std::int64_t replyMs) {
  ReplyBuffer reply{};
  int n = ReceiveLine(run, reply.data(), replyMs);
  if (StoppedByUser(run)) return Step::kStop;
  if (CheckReply(run, reply.data(), n, "OK", kUnitRepliedError) == 1) return Step::kStop;
  return Step::kGoOn;
}

Step StreamImage(RunState& run, TransferPageWindow& page, const LoadedImage& image) {
  const auto total = static_cast<std::uint32_t>(image.length);
  ProgressReport progress(run, page, total);
  for (std::uint32_t done = 0; done < total && !run.CancelRequested; ++done) {
    SerialWriteByte(run.link, image.At(done));
    progress.Report(done + 1);
  }
  return StoppedByUser(run) ? Step::kStop : Step::kGoOn;
}

}  // namespace

int UploadProgram(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  const LoadedImage& image = state.files.loadedImage;
  if (SaveConfiguration(state, page) == Step::kStop) return 1;
  ControlBlock block;
  image.Copy(0, kControlBlockBytes, block.data());
  if (SetupTransfer(run, page, 0, block.data()) != 0) return 1;
  run.log.LogPrintf(kSendingProgramDataFormat, static_cast<int>(image.length));
  if (SendBlocks(run, page, image) == Step::kStop) return 1;
  if (Pause(run, kAfterAttentionMs) == Step::kStop) return 1;
  if (RecordPendingRestore(state, page) == Step::kStop) return 1;
  if (ResyncAndWriteFlash(state, page) == Step::kStop) return 1;
  if (RestartAndRestore(state, page, kStatusResetingUnit, kStatusWritingParameters,
                        kRestoreRefusedBlock, false) == Step::kStop) {
    return 1;
  }

  SendLine(run, "RESET\r");
  run.log.LogPrintf(kResettingUnit);
  run.host.Beep();
  run.log.LogPrintf(kDoneLog);
  Status(page, kStatusDoneBlock);
  SerialClose(run.link);
  return 1;
}

int UploadProgramRaw(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  const LoadedImage& image = state.files.loadedImage;
  const auto total = static_cast<std::uint32_t>(image.length);
  if (SaveConfiguration(state, page) == Step::kStop) return 1;
  Status(page, FormatText(kSendingProgramAtFormat, run.settings.baudRate));

  SendLine(run, "BC %X\r\n", total);
  run.log.LogPrintf(kSendingByteCount);
  if (Command(run, kByteCountReplyMs) == Step::kStop) return 1;
  SendLine(run, "D\r\n");
  run.log.LogPrintf(kSendingBytesFormat, static_cast<int>(total));
  if (StreamImage(run, page, image) == Step::kStop) return 1;
  if (Command(run, kRawDataReplyMs) == Step::kStop) return 1;
  if (RecordPendingRestore(state, page) == Step::kStop) return 1;
  if (WriteFlashRepeating(state, page, kProgramFlashLineMs, kFlashWriteFailed,
                          kStatusWritingToFlash) == Step::kStop) {
    return 1;
  }
  if (RestartAndRestore(state, page, kStatusWaitingForReset, kStatusSendingParameters,
                        kUnitRepliedError, true) == Step::kStop) {
    return 1;
  }

  if (Pause(run, kBeforeResetMs) == Step::kStop) return 1;
  run.host.Beep();
  SendLine(run, "RESET\r");
  run.log.LogPrintf(kResettingUnitRaw);
  run.log.LogPrintf(kUnitNeedsReset);
  run.host.Beep();
  run.log.LogPrintf(kDoneLog);
  ShowBusy(state, page);
  Status(page, kStatusDoneRaw);
  SerialClose(run.link);
  if (AskUploadAnother(run) == 1) {
    // The next unit's configuration is its own.
    state.savedConfiguration.BeginUnit();
    page.EndPage(kPageTryAgain);
  } else {
    page.EndPage(kPageLeave);
  }
  return 1;
}

}  // namespace rv4410
