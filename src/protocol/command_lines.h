#pragma once
// Command lines to the unit and its one-line replies; the attention handshake;
// the standard handling of a wrong or missing reply.

#include <array>
#include <cstdint>

#include "platform/format.h"
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
inline constexpr const char* kNoteCaption = "Note";

// Formats into the 1024-byte buffer and sends the characters one by one; the
// text carries its own line end. Always 1.
int SendLine(RunState& run, const char* format, ...) RV4410_PRINTF(2, 3);

// Receives one line into `buffer` (at least 255 bytes), without its line end.
// Skips leading line feeds, spaces and control bytes until `timeoutMs` has
// passed; then collects until CR, LF, a 40 ms pause or 254 characters.
// Returns the length (0..254), or -1 on timeout or when CancelRequested is set
// while still waiting for the line to begin.
int ReceiveLine(RunState& run, char* buffer, std::int64_t timeoutMs);

// The attention handshake: five cancel characters per attempt until the unit
// answers "OK", searching the current speed, 1200 and 9600 baud (the speed
// found stays in the settings and the port stays open). `withBreak` starts
// with a break. 0 when the unit answered, 1 when CancelRequested ended it or
// the line went away (LineWentAway has told the user; the port is closed).
int WaitForOk(RunState& run, int withBreak);

// Checks a reply against `expected` (its first two characters). On a timeout
// (`result` < 0) or a wrong reply: closes the port, asks "Try again?" and ends
// the transfer page with 4 (Yes) or 0 (No); returns 1. Returns 0 on a match.
int CheckReply(RunState& run, const char* reply, int result, const char* expected,
               const char* message);

// True when the reply's first two characters are "OK" (what follows does not matter).
bool ReplyIsOk(const char* reply);

// Closes the port, stores `baud` in the settings and opens the same device
// again at it (SerialReopen). The speed stays in the settings for later opens.
// 1 when open, 0 if not.
int ReopenSerialAt(RunState& run, int baud);

// Whether the device this operation opened went away (it hung up, or another
// device is at its path now): then logs and shows kLineWentAwayFormat in an
// "Error" box, and the caller ends the operation as failed.
bool LineWentAway(RunState& run);

// ReceiveLine into `reply`; on a timeout `reply` says `onTimeout` instead
// of being left empty, for the log line that may follow.
int ReceiveReplyOr(RunState& run, ReplyBuffer& reply, std::int64_t timeoutMs,
                   const char* onTimeout);

// Whether the user has ended the page (CancelRequested); the port is then
// closed at once, without waiting for what the abandoned exchange queued.
bool StoppedByUser(RunState& run);

// Waits `ms` with the window alive: user events run, nothing spins.
void PauseWithMessages(RunState& run, std::int64_t ms);

// Logs "Error:" and the message, asks it with Yes and No; on Yes shows the
// power-cycle note. 1 for Yes (try again), 0 for No.
int AskRetryAfterError(RunState& run, const char* message);

}  // namespace rv4410
