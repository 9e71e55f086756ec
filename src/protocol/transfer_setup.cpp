#include "protocol/transfer_setup.h"

#include <cstring>
#include <string>

#include "protocol/block_frame.h"
#include "protocol/boxes.h"
#include "protocol/command_lines.h"

namespace rv4410 {

namespace {

// A reply awaited after a speed change: on a timeout the buffer says so, for
// the log line of a fall-back.
int ReceiveReplyAfterSwitch(RunState& run, ReplyBuffer& reply, std::int64_t timeoutMs) {
  return ReceiveReplyOr(run, reply, timeoutMs, kNoResponse);
}

// The load-mode command at the new speed; the receive's result.
int SelectLoadMode(RunState& run, LoadMode mode, ReplyBuffer& reply) {
  std::strncpy(reply.data(), kNoResponse, reply.size());
  if (mode == LoadMode::kMap) {
    SendLine(run, "%s", kMapLoadModeCommand);
    run.log.LogStep(kSettingMapLoadMode);
  } else {
    SendLine(run, "%s", kProgramLoadModeCommand);
    run.log.LogStep(kSettingProgramLoadMode);
  }
  return ReceiveReplyAfterSwitch(run, reply, kLoadModeReplyMs);
}

void ShowSpeed(RunState& run, TransferPage& page, int baud) {
  std::string text = FormatText(kBaudRateSetFormat, baud);
  // A fresh open at the same speed drops whatever the switch left queued.
  ReopenSerialAt(run, baud);
  page.SetStatusText(kStatusField1033, text);
  run.log.LogLine(text);
}

void ReportControlBlockWriteError(RunState& run) {
  ShowBox(run,
          {kControlBlockWriteError, kNoteCaption, BoxIcon::kInformation, BoxButtons::kOk, nullptr},
          BoxLine::kAfter, kControlBlockWriteErrorLog);
}

}  // namespace

Outcome SetupTransfer(RunState& run, TransferPage& page, LoadMode mode,
                      const std::uint8_t* controlBlock) {
  run.log.LogPrintf(kSetUpForTransfer);
  std::size_t index = 0;
  ReplyBuffer reply{};

  for (;;) {
    const BaudTableEntry& entry = BaudTable[index];
    SendLine(run, "%s", entry.command);
    run.log.LogLine(std::string(kSendBaudRateMessage) + entry.command);
    int result = ReceiveLine(run, reply.data(), kSpeedReplyMs);
    RV4410_TRY(AfterReceive(run, result, kOperationTimedOut));
    // A refused speed command is not a cable problem: no fall-back for it.
    RV4410_TRY(CheckReply(run, reply.data(), result, "OK", kUnitRepliedError));

    RV4410_TRY(Pause(run, kSpeedSwitchPauseMs));
    // A port that will not take the speed shows as a missing load-mode reply.
    if (ReopenSerialAt(run, entry.baud) != 1 && SerialLineGone(run.link)) {
      return LineGone(run, kOperationTimedOut);
    }

    result = SelectLoadMode(run, mode, reply);
    RV4410_TRY(AfterReceive(run, result, kOperationTimedOut));
    if (result >= 0 && ReplyIsOk(reply.data())) {
      ShowSpeed(run, page, entry.baud);
      if (SerialLineGone(run.link)) return LineGone(run, kOperationTimedOut);
      run.log.LogStep(kSendingControlBlock);
      if (SendBlock(run, kControlBlockType, controlBlock, kControlBlockSize, kControlBlockAddress) <
          0) {
        // A block cut short by the user's Cancel, or by a line that went
        // away, is no write error to report.
        RV4410_TRY(Interrupted(run, kOperationTimedOut));
        ReportControlBlockWriteError(run);
        ReopenSerialAt(run, kResyncBaud);
        RV4410_TRY(WaitForOk(run, HandshakeStart::kWithBreak, kStepResyncAt9600));
        run.log.LogPrintf(kRetrying);
        continue;  // the same speed again
      }
      std::strncpy(reply.data(), kNoResponse, reply.size());
      result = ReceiveReplyAfterSwitch(run, reply, kControlBlockReplyMs);
      RV4410_TRY(AfterReceive(run, result, kOperationTimedOut));
      if (result >= 0 && ReplyIsOk(reply.data())) return Outcome::Ok();
    }

    // The new speed failed: find the unit again at 9600 and try the next lower one.
    if (index + 1 == BaudTable.size()) {
      // The log shows the speeds tried; the page stays open.
      if (result < 0) return Outcome::StaysOpen(Ending::kNoAnswer);
      Outcome refused = Outcome::StaysOpen(Ending::kUnitError);
      refused.reply = reply.data();
      return refused;
    }
    ++index;
    ReopenSerialAt(run, kResyncBaud);
    RV4410_TRY(WaitForOk(run, HandshakeStart::kWithBreak, kStepResyncAt9600));
    run.log.LogPrintf(kUnitSentFormat, reply.data());
    run.log.LogPrintf(kTryingLowerBaudRate);
  }
}

}  // namespace rv4410
