#pragma once
// The steps the program and map uploads share: the progress report, the
// line probe before a flash write, and the wait for the flash write's answer.
// Each step returns how it ended; the transfer page's logic acts on it.

#include <cstdint>

#include "protocol/command_lines.h"
#include "protocol/outcome.h"
#include "uploads/loader_state.h"
#include "uploads/transfer_driver.h"

namespace rv4410 {

// Data blocks carry this much; the frame would take up to 4096.
inline constexpr int kDataBlockLength = 1024;
// A block is attempted this often in a row before the user is asked.
inline constexpr std::uint32_t kBlockAttempts = 10;
inline constexpr const char* kNoReply = "no reply";
inline constexpr const char* kSentOfFormat = "sent %d of %d bytes";
inline constexpr const char* kRetryCountFormat = "    Retry count %i    ";
inline constexpr const char* kWriteErrorCountFormat = "    Write error count %i    ";
inline constexpr const char* kWritingToFlash = "Writing to flash\r\n";
// Writes what the unit received into flash. The unit answers with any number
// of "Begin..." lines, then "OK", or "Retry" to be asked again; each line
// within the variant's flash-line limit.
inline constexpr const char* kFlashWriteCommand = "W\r\n";
// The empty line before a flash write: the unit answers an empty line or
// "OK" within kProbeReplyMs when it is listening again after the data.
inline constexpr const char* kProbeCommand = "\r\n";
inline constexpr std::int64_t kProbeReplyMs = 1000;
// The unit settles after the handshake before it takes a command.
inline constexpr std::int64_t kAfterAttentionMs = 100;
// The unit restarts on it; nothing is awaited.
inline constexpr const char* kResetCommand = "RESET\r";

// The per-mille progress of an upload: the bar and "sent %d of %d bytes" are
// touched only when the value changes, at most 1000 times per upload.
class ProgressReport {
 public:
  ProgressReport(RunState& run, TransferPageWindow& page, std::uint64_t total)
      : run_(run), page_(page), total_(total) {}
  void Report(std::uint64_t done);

 private:
  RunState& run_;
  TransferPageWindow& page_;
  std::uint64_t total_;
  int last_ = 0;
};

// Sends the empty line and reads one answer: an empty line or "OK..." passes
// (done). Otherwise logs what came and the page ends with 0 without a
// question (kNoAnswer or kUnitError, kLineGone likewise); kCancelled.
Outcome LineProbe(RunState& run);

// Reads the unit's answer to "W": each "Begin" line is logged and the wait
// starts afresh with `lineTimeoutMs`; a wait that times out is reported as
// "Operation timed out", whatever line came before it. Done on "OK", with
// `retry` set on "Retry"; otherwise as CheckReply with `failure`.
Outcome AwaitFlashAnswer(RunState& run, std::int64_t lineTimeoutMs, const char* failure,
                         bool& retry);

// Sends "W" and logs it, shows the hourglass and `status` in field 1033, and
// reads the unit's answer as AwaitFlashAnswer does.
Outcome WriteFlashOnce(LoaderState& state, TransferPageWindow& page, std::int64_t lineTimeoutMs,
                       const char* failure, const char* status, bool& retry);

// WriteFlashOnce again after every "Retry", with no new handshake and no
// probe. Done once the unit has answered "OK".
Outcome WriteFlashRepeating(LoaderState& state, TransferPageWindow& page,
                            std::int64_t lineTimeoutMs, const char* failure, const char* status);

// Sets BusyCursor and shows the hourglass at once.
void ShowBusy(LoaderState& state, TransferPageWindow& page);

// Receives the answer to a command just sent, within `replyMs`, and checks
// it for "OK" (CheckReply with "Unit replied with an error\nTry again?").
Outcome ExpectOk(RunState& run, std::int64_t replyMs);

}  // namespace rv4410
