#pragma once
// What the read and write exchanges with the unit share: the checked line
// format, the unit's acknowledgement, and the failure counter that both keep
// over a whole exchange.

#include <cstdint>

#include "protocol/run_state.h"

namespace rv4410 {

// The loader's checked line: the parameter line, one space, its check character.
inline constexpr const char* kCheckedLineFormat = "%s %c\r\n";
inline constexpr const char* kUnitSentAnswerFormat = "Unit Sent '%s'\r\n";
inline constexpr const char* kMaxRetriesExhausted = "max retries exhausted\r\n";
inline constexpr const char* kParameterLineLogFormat = "%s\r\n";
// The end of a list, in both directions.
inline constexpr const char* kEmptyLine = "\r\n";

// The unit's answer to an offer of the checked exchange and to each checked line.
inline constexpr std::int64_t kOfferReplyTimeoutMs = 500;
inline constexpr std::int64_t kLineAnswerTimeoutMs = 500;
inline constexpr int kFailuresPerRound = 5;

// A reply of at least one character whose first two are "OK".
bool IsOkReply(const char* reply, int length);

// Counts unacknowledged lines over a whole exchange. It goes back to 0 only
// when it reaches 5, not when a line succeeds, so a line after a troubled one
// has fewer repetitions left.
class FailureCounter {
 public:
  // Logs the unit's answer and counts it. True when this failure was the
  // fifth of a round: "max retries exhausted" is logged and the count restarts.
  bool Note(RunState& run, const char* answer);

 private:
  int count_ = 0;
};

}  // namespace rv4410
