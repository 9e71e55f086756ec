#include "protocol/transfer_setup.h"

#include <cstring>
#include <string>

#include "protocol/block_frame.h"
#include "protocol/command_lines.h"

namespace rv4410 {

namespace {

// A reply awaited after a speed change: on a timeout the buffer says so, for
// the log line of a fall-back.
int ReceiveReplyAfterSwitch(RunState& run, ReplyBuffer& reply, std::int64_t timeoutMs) {
  return ReceiveReplyOr(run, reply, timeoutMs, kNoResponse);
}

// The load-mode command at the new speed; true when the unit answered "OK".
bool SelectLoadMode(RunState& run, int mapMode, ReplyBuffer& reply) {
  std::strncpy(reply.data(), kNoResponse, reply.size());
  if (mapMode == 1) {
    SendLine(run, "M\r");
    run.log.LogPrintf(kSettingMapLoadMode);
  } else {
    SendLine(run, "P\r");
    run.log.LogPrintf(kSettingProgramLoadMode);
  }
  int result = ReceiveReplyAfterSwitch(run, reply, kLoadModeReplyMs);
  return result >= 0 && ReplyIsOk(reply.data());
}

void ShowSpeed(RunState& run, TransferPage& page, int baud) {
  std::string text = FormatText(kBaudRateSetFormat, baud);
  // A fresh open at the same speed drops whatever the switch left queued.
  ReopenSerialAt(run, baud);
  page.SetStatusText(kStatusField1033, text);
  run.log.LogLine(text);
}

void ReportControlBlockWriteError(RunState& run) {
  run.host.ShowMessageBox(
      {kControlBlockWriteError, kNoteCaption, BoxIcon::kInformation, BoxButtons::kOk, nullptr});
  run.log.LogPrintf(kControlBlockWriteErrorLog);
}

}  // namespace

int SetupTransfer(RunState& run, TransferPage& page, int mapMode,
                  const std::uint8_t* controlBlock) {
  // A refused speed command ends this page through CheckReply.
  TransferPageInstall install(run, page);
  run.log.LogPrintf(kSetUpForTransfer);
  std::size_t index = 0;
  ReplyBuffer reply{};

  for (;;) {
    const BaudTableEntry& entry = BaudTable[index];
    SendLine(run, "%s", entry.command);
    run.log.LogLine(std::string(kSendBaudRateMessage) + entry.command);
    int result = ReceiveLine(run, reply.data(), kSpeedReplyMs);
    if (StoppedByUser(run)) return 1;
    // A refused speed command is not a cable problem: no fall-back for it.
    if (CheckReply(run, reply.data(), result, "OK", kUnitRepliedError) == 1) return 1;

    PauseWithMessages(run, kSpeedSwitchPauseMs);
    // A page ended during the pause closed the port; it stays closed.
    if (StoppedByUser(run)) return 1;
    ReopenSerialAt(run, entry.baud);
    if (LineWentAway(run)) return 1;

    bool modeSet = SelectLoadMode(run, mapMode, reply);
    if (StoppedByUser(run)) return 1;
    if (modeSet) {
      ShowSpeed(run, page, entry.baud);
      if (LineWentAway(run)) return 1;
      run.log.LogPrintf(kSendingControlBlock);
      if (SendBlock(run, kControlBlockType, controlBlock, kControlBlockSize, kControlBlockAddress) <
          0) {
        // A block cut short by the user's Cancel is no write error to report.
        if (StoppedByUser(run)) return 1;
        ReportControlBlockWriteError(run);
        ReopenSerialAt(run, kResyncBaud);
        if (WaitForOk(run, 1) == 1) return 1;
        run.log.LogPrintf(kRetrying);
        continue;  // the same speed again
      }
      std::strncpy(reply.data(), kNoResponse, reply.size());
      result = ReceiveReplyAfterSwitch(run, reply, kControlBlockReplyMs);
      if (StoppedByUser(run)) return 1;
      if (result >= 0 && ReplyIsOk(reply.data())) return 0;
    }

    // The new speed failed: find the unit again at 9600 and try the next lower one.
    if (index + 1 == BaudTable.size()) return 1;
    ++index;
    ReopenSerialAt(run, kResyncBaud);
    if (WaitForOk(run, 1) == 1) return 1;
    run.log.LogPrintf(kUnitSentFormat, reply.data());
    run.log.LogPrintf(kTryingLowerBaudRate);
  }
}

}  // namespace rv4410
