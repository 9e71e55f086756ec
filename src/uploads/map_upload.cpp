#include "uploads/map_upload.h"

#include <algorithm>
#include <array>
#include <string>

#include "checksum/crc32.h"
#include "protocol/block_frame.h"
#include "protocol/transfer_setup.h"
#include "uploads/upload_steps.h"

namespace rv4410 {

namespace {

void Status(TransferPageWindow& page, const std::string& text) {
  page.SetStatusText(kStatusField1033, text);
}

Outcome SendMapBlocks(RunState& run, TransferPageWindow& page, const LoadedImage& map,
                      const AskBlockAgain& askAgain) {
  std::array<std::uint8_t, kDataBlockLength> padded;
  const auto total = static_cast<std::uint32_t>(map.length);
  ProgressReport progress(run, page, total);
  std::uint32_t offset = 0;
  std::uint32_t retries = 0;
  std::uint32_t writeErrors = 0;
  ReplyBuffer reply{};
  while (offset < total && !run.CancelRequested) {
    int length = static_cast<int>(std::min<std::uint32_t>(total - offset, kDataBlockLength));
    const std::uint8_t* block = map.Bytes(offset, static_cast<std::size_t>(length), padded.data());
    if (SendBlock(run, kDataBlockType, block, length, offset + kMapDataAddress) < 0) {
      std::string text = FormatText(kWriteErrorCountFormat, static_cast<int>(++writeErrors));
      run.log.LogLine(text);
      Status(page, text);
    }
    if (run.CancelRequested) break;
    int n = ReceiveReplyOr(run, reply, kMapBlockReplyMs, kNoReply);
    RV4410_TRY(AfterReceive(run, n, kBlockSendTimedOut));
    if (n < 0) {
      std::string text = FormatText(kRetryCountFormat, static_cast<int>(++retries));
      Status(page, text);
      run.log.LogLine(text);
      if (retries < kBlockAttempts) continue;
      if (askAgain(kBlockSendTimedOut)) continue;
      return Outcome::StaysOpen(Ending::kNoAnswer);
    }
    if (ReplyIsOk(reply.data())) {
      offset += static_cast<std::uint32_t>(length);
      retries = 0;
      progress.Report(offset);
      continue;
    }
    if (++retries < kBlockAttempts) continue;
    run.log.LogPrintf(kUnitSentFormat, reply.data());
    if (askAgain(kUnitRepliedError)) continue;
    Outcome refused = Outcome::StaysOpen(Ending::kUnitError);
    refused.reply = reply.data();
    return refused;
  }
  return run.CancelRequested ? Outcome::StoppedByUser() : Outcome::Ok();
}

}  // namespace

void RelocateMapControlBlock(ControlBlock& block, std::uint32_t mapBase) {
  const std::uint32_t base = mapBase + kMapDataAddress;
  if (block.Word(0) >= base) return;
  for (std::size_t field = 0; field < kMapAddressFields; ++field) {
    std::size_t offset = field * kMapAddressFieldStride;
    block.SetWord(offset, block.Word(offset) + base);
  }
  std::uint32_t crc = 0;
  Crc32Init(crc);
  Crc32UpdateBytes(crc, block.data(), static_cast<long>(kMapBlockCheckOffset));
  block.SetWord(kMapBlockCheckOffset, crc);
}

Outcome UploadMap(LoaderState& state, TransferPageWindow& page, const AskBlockAgain& askAgain) {
  RunState& run = state.run;
  const LoadedImage& map = state.files.loadedImage;
  RelocateMapControlBlock(state.files.mapControlBlock, run.unitInfo.MapBase());
  page.SetPhase(TransferPhase::kSendingMap);
  RV4410_TRY(SetupTransfer(run, page, LoadMode::kMap, state.files.mapControlBlock.data()));
  run.log.LogPrintf(kSendingMapDataFormat, static_cast<int>(map.length));
  RV4410_TRY(SendMapBlocks(run, page, map, askAgain));
  page.SetPhase(TransferPhase::kWritingFlash);

  RV4410_TRY(Pause(run, kBeforeFindingAgainMs));
  run.log.LogPrintf(kFindInstrumentAgain);
  RV4410_TRY(WaitForOk(run, HandshakeStart::kWithBreak, kStepFindInstrumentAgain));
  RV4410_TRY(Pause(run, kAfterAttentionMs));
  RV4410_TRY(LineProbe(run));
  RV4410_TRY(WriteFlashRepeating(state, page, kMapFlashLineMs, kBurnFlashFailed,
                                 kStatusMapWritingToFlash));

  run.host.Beep();
  run.log.LogPrintf(kDoneLog);
  Status(page, kStatusMapDone);
  return Outcome::Ok();
}

}  // namespace rv4410
