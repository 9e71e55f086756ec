#pragma once
// Command lines to the unit and its one-line replies; the attention handshake;
// the standard handling of a wrong or missing reply.

#include <array>
#include <cstdint>

#include "platform/format.h"
#include "protocol/outcome.h"
#include "protocol/run_state.h"

namespace rv4410 {

// A reply line holds up to 254 characters and a terminating zero.
inline constexpr int kReplyMaxLength = 254;
using ReplyBuffer = std::array<char, kReplyMaxLength + 1>;

inline constexpr std::uint8_t kCancelCharacter = 0x18;
inline constexpr int kCancelCharactersPerAttempt = 5;

inline constexpr const char* kOperationTimedOut = "Operation timed out\nTry again?";
inline constexpr const char* kUnitRepliedError = "Unit replied with an error\nTry again?";
inline constexpr const char* kResetUnitNote =
    "Please reset the unit by turning\nits power off then on...";
inline constexpr const char* kUnitSentFormat = "Unit sent '%s'\r\n";
inline constexpr const char* kLineWentAwayFormat =
    "The line to the unit on %s went away: nothing more was sent to it.\n"
    "Check the cable and start again.";
// A wait the run's limit ended: the limit in seconds and the step.
inline constexpr const char* kNoAnswerWithinFormat = "No answer from the unit within %lld s: %s";
inline constexpr const char* kNoteCaption = "Note";

// Formats into the 1024-byte buffer and sends the characters one by one; the
// text carries its own line end. Always 1.
int SendLine(RunState& run, const char* format, ...) RV4410_PRINTF(2, 3);

// Receives one line into `buffer` (at least 255 bytes), without its line end.
// Skips leading line feeds, spaces and control bytes until `timeoutMs` has
// passed; then collects until CR, LF, a 40 ms pause or 254 characters.
// Returns the length (0..254), or -1 on timeout, when CancelRequested is set
// while still waiting for the line to begin, or at once when the device went
// away (SerialLineGone): nothing more will come.
int ReceiveLine(RunState& run, char* buffer, std::int64_t timeoutMs);

// The attention handshake: five cancel characters per attempt until the unit
// answers "OK", searching the current speed, 1200 and 9600 baud (the speed
// found stays in the settings and the port stays open). `start` says whether
// a break comes first. Done when the unit answered; kCancelled when the user ended
// the page; kLineGone when the device went away (a reopen will not take it
// back); kNoAnswer when the run's wait limit passed first (never in the
// wizard), its message naming `step`. Every ending but done and cancelled
// asks "Operation timed out\nTry again?", the question a silent unit gets.
inline constexpr const char* kStepHandshake = "the attention handshake";
enum class HandshakeStart {
  kPlain,      // cancel characters from the first attempt
  kWithBreak,  // a break first: a unit busy receiving data hears it
};
Outcome WaitForOk(RunState& run, HandshakeStart start, const char* step = kStepHandshake);

// Checks a reply against `expected` (its first two characters). Done on a
// match; a wrong reply is logged ("Unit sent") and asks `message`; a receive
// that gave nothing (`result` < 0) asks "Operation timed out\nTry again?",
// for a silent unit and for a line gone alike. Ends nothing and closes nothing.
Outcome CheckReply(RunState& run, const char* reply, int result, const char* expected,
                   const char* message);

// True when the reply's first two characters are "OK" (what follows does not matter).
bool ReplyIsOk(const char* reply);

// Closes the port, stores `baud` in the settings and opens the same device
// again at it (SerialReopen). The speed stays in the settings for later opens.
// 1 when open, 0 if not.
int ReopenSerialAt(RunState& run, int baud);

// The check after every receive, written once: kCancelled when the user has
// ended the page; kLineGone, asking `question`, when no line came (`received`
// < 0) because the device went away; done otherwise (a line, or silence,
// which the caller handles as its step says).
Outcome AfterReceive(RunState& run, int received, const char* question);

// The check between two steps, written once: kCancelled when the user has
// ended the page or the program was asked to end (Host::StopRequested, which
// then sets CancelRequested too), kLineGone (asking `question`) when the
// device went away, done otherwise.
Outcome Interrupted(RunState& run, const char* question);

// Why a receive gave no line: the user's stop, the line gone, or silence
// (kNoAnswer); both of the latter ask `question`.
Outcome NoLine(RunState& run, const char* question);

// The device this operation opened went away: the outcome that says so,
// asking `question`, the question a silent unit would get at this step.
Outcome LineGone(RunState& run, const char* question);

// ReceiveLine into `reply`; on a timeout `reply` says `onTimeout` instead
// of being left empty, for the log line that may follow.
int ReceiveReplyOr(RunState& run, ReplyBuffer& reply, std::int64_t timeoutMs,
                   const char* onTimeout);

// Waits `ms` with the window alive: user events run, nothing spins. Ends
// early when the device went away: the step after it tells of that.
void PauseWithMessages(RunState& run, std::int64_t ms);
// PauseWithMessages within an operation: kCancelled when the user ended the page meanwhile.
Outcome Pause(RunState& run, std::int64_t ms);

// A "Try again?" question is logged first, after this.
inline constexpr const char* kRetryLogPrefix = "Error:";

// Logs "Error:" and the question, and asks it with Yes and No under "Error".
BoxAnswer AskRetryQuestion(RunState& run, const char* question);

// AskRetryQuestion; on Yes shows the power-cycle note. 1 for Yes (try
// again), 0 for No.
int AskRetryAfterError(RunState& run, const char* message);

}  // namespace rv4410
