#include "uploads/map_upload.h"

#include <algorithm>
#include <array>
#include <string>

#include "checksum/crc32.h"
#include "protocol/block_frame.h"
#include "protocol/page_results.h"
#include "protocol/transfer_setup.h"
#include "uploads/upload_steps.h"

namespace rv4410 {

namespace {

void Status(TransferPageWindow& page, const std::string& text) {
  page.SetStatusText(kStatusField1033, text);
}

// The block questions are plain Yes/No boxes without an owner; true on Yes.
bool AskAgain(RunState& run, const char* question) {
  run.log.LogLine(std::string("Error:") + question);
  return run.host.ShowMessageBox({question, kErrorCaption, BoxIcon::kError, BoxButtons::kYesNo,
                                  nullptr}) == BoxAnswer::kYes;
}

Step SendMapBlocks(RunState& run, TransferPageWindow& page, const LoadedImage& map) {
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
    if (StoppedByUser(run)) return Step::kStop;
    if (n < 0) {
      std::string text = FormatText(kRetryCountFormat, static_cast<int>(++retries));
      Status(page, text);
      run.log.LogLine(text);
      if (retries < kBlockAttempts) continue;
      if (AskAgain(run, kBlockSendTimedOut)) continue;
      SerialClose(run.link);
      return Step::kStop;
    }
    if (ReplyIsOk(reply.data())) {
      offset += static_cast<std::uint32_t>(length);
      retries = 0;
      progress.Report(offset);
      continue;
    }
    if (++retries < kBlockAttempts) continue;
    run.log.LogPrintf(kUnitSentFormat, reply.data());
    if (AskAgain(run, kUnitRepliedError)) continue;
    SerialClose(run.link);
    return Step::kStop;
  }
  return StoppedByUser(run) ? Step::kStop : Step::kGoOn;
}

Step Pause(RunState& run, std::int64_t ms) {
  PauseWithMessages(run, ms);
  return StoppedByUser(run) ? Step::kStop : Step::kGoOn;
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

int UploadMap(LoaderState& state, TransferPageWindow& page) {
  RunState& run = state.run;
  const LoadedImage& map = state.files.loadedImage;
  RelocateMapControlBlock(state.files.mapControlBlock, run.unitInfo.MapBase());
  if (SetupTransfer(run, page, 1, state.files.mapControlBlock.data()) != 0) return 1;
  run.log.LogPrintf(kSendingMapDataFormat, static_cast<int>(map.length));
  if (SendMapBlocks(run, page, map) == Step::kStop) return 1;

  if (Pause(run, kBeforeFindingAgainMs) == Step::kStop) return 1;
  run.log.LogPrintf(kFindInstrumentAgain);
  if (WaitForOk(run, 1) == 1) return 1;
  if (Pause(run, kAfterAttentionMs) == Step::kStop) return 1;
  if (LineProbe(run, page) == Step::kStop) return 1;
  if (WriteFlashRepeating(state, page, kMapFlashLineMs, kBurnFlashFailed,
                          kStatusMapWritingToFlash) == Step::kStop) {
    return 1;
  }

  run.host.Beep();
  run.log.LogPrintf(kDoneLog);
  Status(page, kStatusMapDone);
  SerialClose(run.link);
  return 1;
}

}  // namespace rv4410
