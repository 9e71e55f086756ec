#include "config/exchange_common.h"

namespace rv4410 {

bool IsOkReply(const char* reply, int length) {
  return length > 0 && reply[0] == 'O' && reply[1] == 'K';
}

bool FailureCounter::Note(RunState& run, const char* answer) {
  run.log.LogPrintf(kUnitSentAnswerFormat, answer);
  if (++count_ < kFailuresPerRound) return false;
  count_ = 0;
  run.log.LogPrintf(kMaxRetriesExhausted);
  return true;
}

}  // namespace rv4410
