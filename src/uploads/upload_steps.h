#pragma once
// The steps the program and map uploads share: the progress report, the
// line probe before a flash write, and the wait for the flash write's answer.

#include <cstdint>

#include "protocol/command_lines.h"
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
inline constexpr const char* kFlashWriteCommand = "W\r\n";
inline constexpr std::int64_t kProbeReplyMs = 1000;
inline constexpr std::int64_t kAfterAttentionMs = 100;

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

// Where a step of an upload left it: go on, or the upload returns now (the
// page has been ended, or the user ended it, or it stays open as it is).
enum class Step { kGoOn, kStop };

// Sends the empty line and reads one answer: an empty line or "OK..." passes.
// Otherwise logs what came, closes the port and ends the page with 0.
Step LineProbe(RunState& run, TransferPageWindow& page);

// How a flash write was answered, "Begin" lines skipped.
enum class FlashAnswer {
  kDone,       // "OK...": the image is in flash
  kRetry,      // "Retry...": the caller writes again as its variant does
  kEnded,      // anything else, or a timeout: CheckReply has ended the page
  kCancelled,  // the user ended the page: the port is closed
};

// Reads the unit's answer to "W": each "Begin" line is logged and the wait
// starts afresh with `lineTimeoutMs`; a wait that times out is reported as
// "Operation timed out", whatever line came before it.
FlashAnswer AwaitFlashAnswer(RunState& run, std::int64_t lineTimeoutMs, const char* failure);

// Sends "W" and logs it, shows the hourglass and `status` in field 1033, and
// reads the unit's answer as AwaitFlashAnswer does.
FlashAnswer WriteFlashOnce(LoaderState& state, TransferPageWindow& page, std::int64_t lineTimeoutMs,
                           const char* failure, const char* status);

// WriteFlashOnce again after every "Retry", with no new handshake and no
// probe. kGoOn once the unit has answered "OK".
Step WriteFlashRepeating(LoaderState& state, TransferPageWindow& page, std::int64_t lineTimeoutMs,
                         const char* failure, const char* status);

// Sets BusyCursor and shows the hourglass at once.
void ShowBusy(LoaderState& state, TransferPageWindow& page);

// Closes the port, asks `question` with AskRetryAfterError and ends the page
// with 4 on Yes, 0 on No.
void EndWithRetryQuestion(RunState& run, TransferPage& page, const char* question);

}  // namespace rv4410
