#include "protocol/command_lines.h"

#include <cstring>
#include <string>

#include "protocol/page_results.h"

namespace rv4410 {

namespace {

constexpr std::int64_t kDrainTimeoutMs = 50;
constexpr std::int64_t kAttemptTimeoutMs = 100;
constexpr int kFirstStep = 1;
constexpr int kLastStep = 11;
constexpr int kStepTo1200 = 6;
constexpr int kStepTo9600 = 8;

void EndTransferPage(RunState& run, int result) {
  if (run.transferPage != nullptr) run.transferPage->EndPage(result);
}

}  // namespace

TransferPageInstall::TransferPageInstall(RunState& run, TransferPage& page)
    : run_(run), previous_(run.transferPage) {
  run_.transferPage = &page;
}

TransferPageInstall::~TransferPageInstall() {
  run_.transferPage = previous_;
}

bool ReplyIsOk(const char* reply) {
  return reply[0] == 'O' && reply[1] == 'K';
}

int ReopenSerialAt(RunState& run, int baud) {
  // The reopen closes first, letting what was written leave at the old speed.
  run.settings.baudRate = baud;
  return SerialReopen(run.link);
}

bool LineWentAway(RunState& run) {
  if (!SerialLineGone(run.link)) return false;
  std::string text = FormatText(kLineWentAwayFormat, run.settings.portName.c_str());
  run.log.LogPrintf("%s\r\n", text.c_str());
  run.host.ShowMessageBox({text, kErrorCaption, BoxIcon::kError, BoxButtons::kOk, nullptr});
  return true;
}

int SendLine(RunState& run, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  for (char c : text) SerialWriteByte(run.link, static_cast<std::uint8_t>(c));
  return 1;
}

int ReceiveLine(RunState& run, char* buffer, std::int64_t timeoutMs) {
  Host& host = run.host;
  // Counted from when what was sent before has left the PC, not from when it
  // was queued: at 1200 baud a configuration list is half a minute on the line.
  ReplyDeadline deadline = SerialReplyDeadline(run.link, timeoutMs);
  buffer[0] = '\0';

  int c = -1;
  bool late = false;
  for (;;) {
    c = SerialReadByte(run.link);
    if (c == '\r') break;
    if (run.CancelRequested) return -1;
    if (c >= 33) break;
    late = SerialReplyDeadlinePassed(run.link, deadline, timeoutMs);
    if (late) break;
    // With no port a read fails at once; sleep instead of spinning to the deadline.
    if (c < 0 && !SerialIsOpen(run.link)) host.WaitForEvent(deadline.tick);
  }
  // Reaching the deadline is a timeout, also for a character that came too late.
  if (late || SerialReplyDeadlinePassed(run.link, deadline, timeoutMs)) return -1;

  int length = 0;
  while (c >= 0 && c != '\r' && c != '\n') {
    buffer[length++] = static_cast<char>(c);
    // Characters beyond the limit stay queued and start the next line.
    if (length == kReplyMaxLength) break;
    c = SerialReadLineByte(run.link);
  }
  buffer[length] = '\0';
  return length;
}

int WaitForOk(RunState& run, int withBreak) {
  ReplyBuffer reply{};
  ReceiveLine(run, reply.data(), kDrainTimeoutMs);

  int step = withBreak == 1 ? 0 : kFirstStep;
  for (;;) {
    // Without the device it opened the handshake has no one to find.
    if (LineWentAway(run)) return 1;
    reply[0] = '\0';
    if (step == 0) {
      SerialSendBreak(run.link);
    } else if (step == kStepTo1200) {
      ReopenSerialAt(run, 1200);
    } else if (step == kStepTo9600) {
      SerialSendBreak(run.link);
      // A Cancel during the break closed the port; it stays closed.
      if (!run.CancelRequested) ReopenSerialAt(run, 9600);
    }
    step = step >= kLastStep ? kFirstStep : step + 1;

    for (int i = 0; i < kCancelCharactersPerAttempt; ++i) {
      SerialWriteByte(run.link, kCancelCharacter);
      PumpMessages(run.link);
    }
    ReceiveLine(run, reply.data(), kAttemptTimeoutMs);
    if (run.CancelRequested) break;
    if (ReplyIsOk(reply.data())) break;
  }
  return run.CancelRequested ? 1 : 0;
}

int ReceiveReplyOr(RunState& run, ReplyBuffer& reply, std::int64_t timeoutMs,
                   const char* onTimeout) {
  int result = ReceiveLine(run, reply.data(), timeoutMs);
  if (result < 0) {
    std::strncpy(reply.data(), onTimeout, reply.size() - 1);
    reply.back() = '\0';
  }
  return result;
}

bool StoppedByUser(RunState& run) {
  if (!run.CancelRequested) return false;
  SerialCloseNow(run.link);
  return true;
}

void PauseWithMessages(RunState& run, std::int64_t ms) {
  std::int64_t deadline = run.host.TickCount() + ms;
  while (run.host.TickCount() < deadline) run.host.WaitForEvent(deadline);
}

int AskRetryAfterError(RunState& run, const char* message) {
  run.log.LogLine(std::string("Error:") + message);
  BoxAnswer answer = run.host.ShowMessageBox(
      {message, kErrorCaption, BoxIcon::kError, BoxButtons::kYesNo, nullptr});
  if (answer != BoxAnswer::kYes) return 0;
  run.host.ShowMessageBox(
      {kResetUnitNote, kNoteCaption, BoxIcon::kInformation, BoxButtons::kOk, nullptr});
  return 1;
}

int CheckReply(RunState& run, const char* reply, int result, const char* expected,
               const char* message) {
  if (result < 0) {
    SerialClose(run.link);
    int again = AskRetryAfterError(run, kOperationTimedOut);
    EndTransferPage(run, again == 1 ? kPageTryAgain : kPageLeave);
    return 1;
  }
  run.log.LogPrintf(kUnitSentFormat, reply);
  if (std::strncmp(reply, expected, 2) == 0) return 0;
  SerialClose(run.link);
  int again = AskRetryAfterError(run, message);
  EndTransferPage(run, again == 1 ? kPageTryAgain : kPageLeave);
  return 1;
}

}  // namespace rv4410
