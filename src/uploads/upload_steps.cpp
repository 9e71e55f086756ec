#include "uploads/upload_steps.h"

#include <cstring>
#include <string>

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

Outcome LineProbe(RunState& run) {
  ReplyBuffer reply{};
  SendLine(run, "%s", kProbeCommand);
  // A probe that times out is logged as a block's timeout is.
  int n = ReceiveReplyOr(run, reply, kProbeReplyMs, kNoReply);
  if (run.CancelRequested) return Outcome::StoppedByUser();
  if (n == 0 || (n > 0 && ReplyIsOk(reply.data()))) return Outcome::Ok();
  run.log.LogPrintf(kUnitSentFormat, reply.data());
  // No question: the page ends.
  Outcome failed = n < 0 ? NoLine(run, "") : Outcome::UnitError(reply.data(), "");
  return failed.Leaving();
}

Outcome AwaitFlashAnswer(RunState& run, std::int64_t lineTimeoutMs, const char* failure,
                         bool& retry) {
  retry = false;
  ReplyBuffer reply{};
  for (;;) {
    int n = ReceiveLine(run, reply.data(), lineTimeoutMs);
    RV4410_TRY(AfterReceive(run, n, kOperationTimedOut));
    // A timeout is reported as one even right after a "Begin" line.
    if (n >= 0 && Begins(reply.data(), "Begin")) {
      run.log.LogPrintf(kUnitSentFormat, reply.data());
      continue;
    }
    if (n >= 0 && Begins(reply.data(), "Retry")) {
      retry = true;
      return Outcome::Ok();
    }
    return CheckReply(run, reply.data(), n, "OK", failure);
  }
}

Outcome WriteFlashOnce(LoaderState& state, TransferPageWindow& page, std::int64_t lineTimeoutMs,
                       const char* failure, const char* status, bool& retry) {
  RunState& run = state.run;
  SendLine(run, "%s", kFlashWriteCommand);
  run.log.LogStep(kWritingToFlash);
  ShowBusy(state, page);
  page.SetStatusText(kStatusField1033, status);
  return AwaitFlashAnswer(run, lineTimeoutMs, failure, retry);
}

Outcome WriteFlashRepeating(LoaderState& state, TransferPageWindow& page,
                            std::int64_t lineTimeoutMs, const char* failure, const char* status) {
  for (bool retry = true; retry;) {
    RV4410_TRY(WriteFlashOnce(state, page, lineTimeoutMs, failure, status, retry));
  }
  return Outcome::Ok();
}

void ShowBusy(LoaderState& state, TransferPageWindow& page) {
  state.BusyCursor = true;
  page.ShowCursor(CursorShape::kWait);
}

Outcome ExpectOk(RunState& run, std::int64_t replyMs) {
  ReplyBuffer reply{};
  int n = ReceiveLine(run, reply.data(), replyMs);
  RV4410_TRY(AfterReceive(run, n, kOperationTimedOut));
  return CheckReply(run, reply.data(), n, "OK", kUnitRepliedError);
}

}  // namespace rv4410
