#include "protocol/command_lines.h"

#include "protocol/boxes.h"

#include <cstring>
#include <string>

namespace rv4410 {

namespace {

constexpr std::int64_t kDrainTimeoutMs = 50;
constexpr std::int64_t kAttemptTimeoutMs = 100;
constexpr int kFirstStep = 1;
constexpr int kLastStep = 11;
constexpr int kStepTo1200 = 6;
constexpr int kStepTo9600 = 8;

}  // namespace

bool ReplyIsOk(const char* reply) {
  return reply[0] == 'O' && reply[1] == 'K';
}

int ReopenSerialAt(RunState& run, int baud) {
  // The reopen closes first, letting what was written leave at the old speed.
  run.settings.baudRate = baud;
  return SerialReopen(run.link);
}

Outcome LineGone(RunState& run, const char* question) {
  Outcome outcome = Outcome::Asks(Ending::kLineGone, question);
  outcome.message = FormatText(kLineWentAwayFormat, run.settings.portName.c_str());
  return outcome;
}

Outcome Interrupted(RunState& run, const char* question) {
  // A signal to the command line stops the work as the page's Cancel does;
  // a step that sends without waiting runs no events that would tell it.
  if (run.host.StopRequested()) run.CancelRequested = true;
  if (run.CancelRequested) return Outcome::StoppedByUser();
  if (SerialLineGone(run.link)) return LineGone(run, question);
  return Outcome::Ok();
}

Outcome NoLine(RunState& run, const char* question) {
  Outcome why = Interrupted(run, question);
  return why.Done() ? Outcome::Asks(Ending::kNoAnswer, question) : why;
}

Outcome AfterReceive(RunState& run, int received, const char* question) {
  if (received < 0) return Interrupted(run, question);
  return run.CancelRequested ? Outcome::StoppedByUser() : Outcome::Ok();
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
    if (c < 0 && !SerialIsOpen(run.link)) {
      // A device that went away sends nothing more: no use waiting out the limit.
      if (SerialLineGone(run.link)) return -1;
      // With no port a read fails at once; sleep instead of spinning to the deadline.
      host.WaitForEvent(deadline.tick);
    }
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

Outcome WaitForOk(RunState& run, HandshakeStart start, const char* step) {
  Host& host = run.host;
  ReplyBuffer reply{};
  ReceiveLine(run, reply.data(), kDrainTimeoutMs);
  const std::int64_t limit = run.waitLimitMs > 0 ? host.TickCount() + run.waitLimitMs : 0;

  int attempt = start == HandshakeStart::kWithBreak ? 0 : kFirstStep;
  for (;;) {
    // Without the device it opened the handshake has no one to find.
    if (SerialLineGone(run.link)) return LineGone(run, kOperationTimedOut);
    if (limit > 0 && host.TickCount() >= limit) {
      Outcome outcome = Outcome::Asks(Ending::kNoAnswer, kOperationTimedOut);
      outcome.message =
          FormatText(kNoAnswerWithinFormat, static_cast<long long>(run.waitLimitMs / 1000), step);
      return outcome;
    }
    reply[0] = '\0';
    if (attempt == 0) {
      SerialSendBreak(run.link);
    } else if (attempt == kStepTo1200) {
      ReopenSerialAt(run, 1200);
    } else if (attempt == kStepTo9600) {
      SerialSendBreak(run.link);
      // A Cancel during the break closed the port; it stays closed.
      if (!run.CancelRequested) ReopenSerialAt(run, 9600);
    }
    attempt = attempt >= kLastStep ? kFirstStep : attempt + 1;

    for (int i = 0; i < kCancelCharactersPerAttempt; ++i) {
      SerialWriteByte(run.link, kCancelCharacter);
      PumpMessages(run.link);
    }
    ReceiveLine(run, reply.data(), kAttemptTimeoutMs);
    if (run.CancelRequested) return Outcome::StoppedByUser();
    if (ReplyIsOk(reply.data())) return Outcome::Ok();
  }
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

void PauseWithMessages(RunState& run, std::int64_t ms) {
  std::int64_t deadline = run.host.TickCount() + ms;
  // A line that went away has nothing to wait for; the next step says so.
  while (run.host.TickCount() < deadline && !SerialLineGone(run.link)) {
    run.host.WaitForEvent(deadline);
  }
}

Outcome Pause(RunState& run, std::int64_t ms) {
  PauseWithMessages(run, ms);
  return run.CancelRequested ? Outcome::StoppedByUser() : Outcome::Ok();
}

BoxAnswer AskRetryQuestion(RunState& run, const char* question) {
  return ShowBox(run, {question, kErrorCaption, BoxIcon::kError, BoxButtons::kYesNo, nullptr},
                 BoxLine::kBefore, std::string(kRetryLogPrefix) + question);
}

int AskRetryAfterError(RunState& run, const char* message) {
  if (AskRetryQuestion(run, message) != BoxAnswer::kYes) return 0;
  ShowBox(run, {kResetUnitNote, kNoteCaption, BoxIcon::kInformation, BoxButtons::kOk, nullptr});
  return 1;
}

Outcome CheckReply(RunState& run, const char* reply, int result, const char* expected,
                   const char* message) {
  if (result < 0) return NoLine(run, kOperationTimedOut);
  run.log.LogPrintf(kUnitSentFormat, reply);
  if (std::strncmp(reply, expected, 2) == 0) return Outcome::Ok();
  // A line cut short by the device going away is not the unit's answer.
  if (SerialLineGone(run.link)) return LineGone(run, kOperationTimedOut);
  return Outcome::UnitError(reply, message);
}

}  // namespace rv4410
