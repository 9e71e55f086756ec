#include "uploads/upload_steps.h"

#include <cstring>
#include <string>

#include "protocol/page_results.h"

namespace rv4410 {

namespace {

bool Begins(const char* reply, const char* word) {
  return std::strncmp(reply, word, std::strlen(word)) == 0;
}

}  // namespace

void ProgressReport::Report(std::uint64_t done) {
  // 64 bits: an image of more than 4 MiB would overflow done × 1000 in 32.
  int position = total_ == 0 ? 0 : static_cast<int>(done * kProgressMaximum / total_);
  if (position == last_) return;
  page_.SetProgress(position);
  page_.SetStatusText(kStatusField1032,
                      FormatText(kSentOfFormat, static_cast<int>(done), static_cast<int>(total_)));
  PumpMessages(run_.link);
  last_ = position;
}

Step LineProbe(RunState& run, TransferPageWindow& page) {
  ReplyBuffer reply{};
  SendLine(run, "\r\n");
  int n = ReceiveLine(run, reply.data(), kProbeReplyMs);
  if (StoppedByUser(run)) return Step::kStop;
  if (n == 0 || (n > 0 && ReplyIsOk(reply.data()))) return Step::kGoOn;
  run.log.LogPrintf(kUnitSentFormat, reply.data());
  SerialClose(run.link);
  page.EndPage(kPageLeave);
  return Step::kStop;
}

FlashAnswer AwaitFlashAnswer(RunState& run, std::int64_t lineTimeoutMs, const char* failure) {
  ReplyBuffer reply{};
  for (;;) {
    int n = ReceiveLine(run, reply.data(), lineTimeoutMs);
    if (StoppedByUser(run)) return FlashAnswer::kCancelled;
    // A timeout is reported as one even right after a "Begin" line.
    if (n >= 0 && Begins(reply.data(), "Begin")) {
      run.log.LogPrintf(kUnitSentFormat, reply.data());
      continue;
    }
    if (n >= 0 && Begins(reply.data(), "Retry")) return FlashAnswer::kRetry;
    if (CheckReply(run, reply.data(), n, "OK", failure) == 1) return FlashAnswer::kEnded;
    return FlashAnswer::kDone;
  }
}

FlashAnswer WriteFlashOnce(LoaderState& state, TransferPageWindow& page, std::int64_t lineTimeoutMs,
                           const char* failure, const char* status) {
  RunState& run = state.run;
  SendLine(run, kFlashWriteCommand);
  run.log.LogPrintf(kWritingToFlash);
  ShowBusy(state, page);
  page.SetStatusText(kStatusField1033, status);
  return AwaitFlashAnswer(run, lineTimeoutMs, failure);
}

Step WriteFlashRepeating(LoaderState& state, TransferPageWindow& page, std::int64_t lineTimeoutMs,
                         const char* failure, const char* status) {
  for (;;) {
    FlashAnswer answer = WriteFlashOnce(state, page, lineTimeoutMs, failure, status);
    if (answer == FlashAnswer::kRetry) continue;
    return answer == FlashAnswer::kDone ? Step::kGoOn : Step::kStop;
  }
}

void ShowBusy(LoaderState& state, TransferPageWindow& page) {
  state.BusyCursor = true;
  page.ShowCursor(CursorShape::kWait);
}

void EndWithRetryQuestion(RunState& run, TransferPage& page, const char* question) {
  SerialClose(run.link);
  page.EndPage(AskRetryAfterError(run, question) == 1 ? kPageTryAgain : kPageLeave);
}

}  // namespace rv4410
