#include "uploads/program_upload.h"

#include <algorithm>
#include <array>
#include <string>

#include "config/saved_configuration.h"
#include "config/write_configuration.h"
#include "protocol/block_frame.h"
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
Outcome SaveConfiguration(LoaderState& state) {
  RunState& run = state.run;
  Outcome saved = state.savedConfiguration.SaveBeforeUpload(run);
  if (run.CancelRequested) return Outcome::StoppedByUser();
  return saved;
}

// Before the flash write starts, the restore it makes necessary is recorded
// beside the configuration file, so that a run ended in between leaves word
// of it for the next one.
Outcome RecordPendingRestore(LoaderState& state) {
  RunState& run = state.run;
  std::string question =
      state.savedConfiguration.RecordBeforeFlashWrite(run, run.settings.programFile);
  if (question.empty()) return Outcome::Ok();
  return Outcome::Asks(Ending::kStopped, question.c_str());
}

// Writes the configuration chosen for this unit back and checks the unit's
// answer; once the unit has taken it, the restore is no longer pending.
// Done, or kIncomplete when the list went short.
Outcome RestoreConfiguration(LoaderState& state, const char* refused) {
  RunState& run = state.run;
  Outcome sent = state.savedConfiguration.RestoreAfterUpload(run);
  // The list could not be sent (the write has said why): the unit has the
  // new program but not its configuration, which is not done.
  if (sent.ending == Ending::kFileRefused) return Outcome::Asks(Ending::kStopped, kRestoreNotSent);
  if (!sent.WentThrough()) return sent;
  ReplyBuffer reply{};
  int n = ReceiveLine(run, reply.data(), kRestoreReplyMs);
  RV4410_TRY(AfterReceive(run, n, kOperationTimedOut));
  RV4410_TRY(CheckReply(run, reply.data(), n, "OK", refused));
  state.savedConfiguration.RestoreTaken(run);
  return sent;
}

Outcome SendBlocks(RunState& run, TransferPageWindow& page, const LoadedImage& image) {
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
    // A line gone gets at once what ten silent attempts would.
    RV4410_TRY(AfterReceive(run, n, kUnitRepliedError));
    if (n >= 0 && ReplyIsOk(reply.data())) {
      offset += static_cast<std::uint32_t>(length);
      retries = 0;
      progress.Report(offset);
      continue;
    }
    Status(page, FormatText(kRetryCountFormat, static_cast<int>(++retries)));
    if (retries < kBlockAttempts) continue;
    run.log.LogPrintf(kUnitSentFormat, reply.data());
    return n < 0 ? Outcome::Asks(Ending::kNoAnswer, kUnitRepliedError)
                 : Outcome::UnitError(reply.data(), kUnitRepliedError);
  }
  return run.CancelRequested ? Outcome::StoppedByUser() : Outcome::Ok();
}

// Regains the unit's attention, probes the line and has the unit burn the
// image; "Retry" starts again from the attention.
Outcome ResyncAndWriteFlash(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  for (bool retry = true; retry;) {
    RV4410_TRY(WaitForOk(run, HandshakeStart::kWithBreak, kStepResyncBeforeFlash));
    RV4410_TRY(Pause(run, kAfterAttentionMs));
    RV4410_TRY(LineProbe(run));
    RV4410_TRY(WriteFlashOnce(state, page, kProgramFlashLineMs, kFlashWriteFailed,
                              kStatusWritingToFlash, retry));
  }
  return Outcome::Ok();
}

// The unit restarts with its new program: waits it out with the window
// alive, finds the unit again and writes the saved configuration back.
Outcome RestartAndRestore(LoaderState& state, TransferPageWindow& page, const char* restartStatus,
                          const char* restoreStatus, const char* refused, bool busyWhileRestoring) {
  RunState& run = state.run;
  page.SetPhase(TransferPhase::kRestoringConfiguration);
  run.log.LogPrintf(kWaitingForReset);
  Status(page, restartStatus);
  // A Cancel during the restart ends the upload at the next check.
  RV4410_TRY(Pause(run, kRestartWaitMs));
  RV4410_TRY(WaitForOk(run, HandshakeStart::kPlain, kStepAfterRestart));
  run.log.LogPrintf(kWritingConfigurationBack);
  if (busyWhileRestoring) ShowBusy(state, page);
  Status(page, restoreStatus);
  return RestoreConfiguration(state, refused);
}

Outcome StreamImage(RunState& run, TransferPageWindow& page, const LoadedImage& image) {
  const auto total = static_cast<std::uint32_t>(image.length);
  ProgressReport progress(run, page, total);
  for (std::uint32_t done = 0; done < total && !run.CancelRequested; ++done) {
    SerialWriteByte(run.link, image.At(done));
    progress.Report(done + 1);
  }
  return run.CancelRequested ? Outcome::StoppedByUser() : Outcome::Ok();
}

}  // namespace

Outcome UploadProgram(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  const LoadedImage& image = state.files.loadedImage;
  page.SetPhase(TransferPhase::kReadingConfiguration);
  RV4410_TRY(SaveConfiguration(state));
  ControlBlock block;
  image.Copy(0, kControlBlockBytes, block.data());
  page.SetPhase(TransferPhase::kSendingProgram);
  RV4410_TRY(SetupTransfer(run, page, LoadMode::kProgram, block.data()));
  run.log.LogPrintf(kSendingProgramDataFormat, static_cast<int>(image.length));
  RV4410_TRY(SendBlocks(run, page, image));
  RV4410_TRY(Pause(run, kAfterAttentionMs));
  RV4410_TRY(RecordPendingRestore(state));
  page.SetPhase(TransferPhase::kWritingFlash);
  RV4410_TRY(ResyncAndWriteFlash(state, page));
  Outcome restored = RestartAndRestore(state, page, kStatusResetingUnit, kStatusWritingParameters,
                                       kRestoreRefusedBlock, false);
  if (!restored.WentThrough()) return restored;

  SendLine(run, "%s", kResetCommand);
  run.log.LogPrintf(kResettingUnit);
  run.host.Beep();
  run.log.LogPrintf(kDoneLog);
  Status(page, kStatusDoneBlock);
  return restored;
}

Outcome UploadProgramRaw(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  const LoadedImage& image = state.files.loadedImage;
  const auto total = static_cast<std::uint32_t>(image.length);
  page.SetPhase(TransferPhase::kReadingConfiguration);
  RV4410_TRY(SaveConfiguration(state));
  page.SetPhase(TransferPhase::kSendingProgram);
  Status(page, FormatText(kSendingProgramAtFormat, run.settings.baudRate));

  SendLine(run, kByteCountCommandFormat, total);
  run.log.LogPrintf(kSendingByteCount);
  RV4410_TRY(ExpectOk(run, kByteCountReplyMs));
  SendLine(run, "%s", kRawDataCommand);
  run.log.LogPrintf(kSendingBytesFormat, static_cast<int>(total));
  RV4410_TRY(StreamImage(run, page, image));
  RV4410_TRY(ExpectOk(run, kRawDataReplyMs));
  RV4410_TRY(RecordPendingRestore(state));
  page.SetPhase(TransferPhase::kWritingFlash);
  RV4410_TRY(WriteFlashRepeating(state, page, kProgramFlashLineMs, kFlashWriteFailed,
                                 kStatusWritingToFlash));
  Outcome restored = RestartAndRestore(state, page, kStatusWaitingForReset,
                                       kStatusSendingParameters, kUnitRepliedError, true);
  if (!restored.WentThrough()) return restored;

  RV4410_TRY(Pause(run, kBeforeResetMs));
  run.host.Beep();
  SendLine(run, "%s", kResetCommand);
  run.log.LogPrintf(kResettingUnitRaw);
  run.log.LogPrintf(kUnitNeedsReset);
  run.host.Beep();
  run.log.LogPrintf(kDoneLog);
  ShowBusy(state, page);
  Status(page, kStatusDoneRaw);
  return restored;
}

}  // namespace rv4410
