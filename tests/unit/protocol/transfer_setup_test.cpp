// Transfer set-up: speed negotiation down the baud table, the load mode and
// the control block, against the simulated unit in virtual time.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

#include "protocol/block_frame.h"
#include "protocol/command_lines.h"
#include "protocol/page_results.h"
#include "protocol/transfer_setup.h"
#include "sim/speed_and_modes.h"
#include "support/virtual_unit_fixture.h"

namespace rv4410::test {
namespace {

// Runs an action when the unit receives a given command, once.
class CommandTrigger : public sim::UnitFeature {
 public:
  CommandTrigger(std::string command, std::function<void()> action)
      : command_(std::move(command)), action_(std::move(action)) {}
  bool OnCommand(sim::UnitModel&, std::string_view line) override {
    if (line == command_ && action_) {
      auto action = std::move(action_);
      action_ = nullptr;
      action();
    }
    return false;
  }

 private:
  std::string command_;
  std::function<void()> action_;
};

std::array<std::uint8_t, kControlBlockSize> MakeControlBlock() {
  std::array<std::uint8_t, kControlBlockSize> block{};
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  // Frame starts inside the data are doubled on the wire and must come back single.
  block[3] = 0x10;
  block[4] = 0x10;
  block[255] = 0x10;
  return block;
}

std::vector<std::string> SpeedCommands(const std::vector<std::string>& commands) {
  std::vector<std::string> speeds;
  for (const std::string& command : commands) {
    if (command.rfind("BR ", 0) == 0) speeds.push_back(command);
  }
  return speeds;
}

int Occurrences(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++count;
  }
  return count;
}

class TransferSetupTest : public VirtualUnitTest {
 protected:
  sim::SpeedAndModesFeature& StartSpeedUnit(sim::SpeedKnobs knobs = {}, sim::LineKnobs line = {}) {
    StartUnit(line);
    speeds = &unit->Make<sim::SpeedAndModesFeature>(std::move(knobs));
    return *speeds;
  }

  Outcome Negotiate(LoadMode mode = LoadMode::kProgram) {
    OpenPort();
    return SetupTransfer(run, page, mode, block.data());
  }
  Ending RunSetup(LoadMode mode = LoadMode::kProgram) { return Negotiate(mode).ending; }

  bool UnitHoldsTheBlock() const {
    return speeds->ControlBlock().size() == block.size() &&
           std::equal(block.begin(), block.end(), speeds->ControlBlock().begin());
  }

  std::array<std::uint8_t, kControlBlockSize> block = MakeControlBlock();
  sim::SpeedAndModesFeature* speeds = nullptr;
};

TEST_F(TransferSetupTest, UnitAt115200GetsOneOfEachAndTheStatusShowsTheSpeed) {
  StartSpeedUnit();
  EXPECT_EQ(RunSetup(), Ending::kDone);

  EXPECT_EQ(SpeedCommands(UnitCommands()), std::vector<std::string>{"BR 115200"});
  EXPECT_EQ(std::count(UnitCommands().begin(), UnitCommands().end(), "P"), 1);
  ASSERT_EQ(speeds->Frames().size(), 1u);
  const sim::DecodedFrame& frame = speeds->Frames()[0];
  EXPECT_EQ(frame.type, 0x43);
  EXPECT_EQ(frame.address, 0u);
  EXPECT_EQ(frame.length, 256);
  EXPECT_TRUE(frame.headerCheckOk);
  EXPECT_TRUE(frame.dataCheckOk);
  EXPECT_TRUE(UnitHoldsTheBlock());
  EXPECT_EQ(speeds->LoadMode(), 'P');

  EXPECT_EQ(page.status1033, "   Baud Rate Set to 115200   ");
  EXPECT_EQ(run.settings.baudRate, 115200);
  EXPECT_TRUE(run.link.open);
  EXPECT_EQ(host.Device().Baud(), 115200);
  EXPECT_EQ(unit->Speed(), 115200);

  std::string log = LogText();
  EXPECT_NE(log.find("Set up for transfer\r\n\n"), std::string::npos);
  EXPECT_NE(log.find("Send baud rate message:BR 115200\r\n"), std::string::npos);
  EXPECT_NE(log.find("Unit sent 'OK'\r\n"), std::string::npos);
  EXPECT_NE(log.find("Setting program load mode\r\n"), std::string::npos);
  EXPECT_NE(log.find("   Baud Rate Set to 115200   \n"), std::string::npos);
  EXPECT_NE(log.find("Sending control block\r\n"), std::string::npos);
  EXPECT_EQ(log.find("Trying lower baud rate"), std::string::npos);
}

TEST_F(TransferSetupTest, MapModeSendsMAndProgramModeSendsP) {
  StartSpeedUnit();
  EXPECT_EQ(RunSetup(LoadMode::kMap), Ending::kDone);
  EXPECT_EQ(speeds->LoadMode(), 'M');
  EXPECT_EQ(std::count(UnitCommands().begin(), UnitCommands().end(), "P"), 0);
  EXPECT_NE(LogText().find("Setting map load mode\r\n"), std::string::npos);
  EXPECT_EQ(LogText().find("Setting program load mode"), std::string::npos);
}

TEST_F(TransferSetupTest, CableThatFailsAbove38400FallsBackTwiceWithABreakEachTime) {
  sim::LineKnobs cable;
  cable.cableMaxBaud = 38400;
  StartSpeedUnit({}, cable);
  EXPECT_EQ(RunSetup(), Ending::kDone);

  EXPECT_EQ(SpeedCommands(UnitCommands()),
            (std::vector<std::string>{"BR 115200", "BR 57600", "BR 38400"}));
  std::string log = LogText();
  EXPECT_EQ(Occurrences(log, "Trying lower baud rate\r\n"), 2);
  EXPECT_EQ(Occurrences(log, "Unit sent 'no response'\r\n"), 2);
  // Each retry found the unit again at 9600 after a break.
  EXPECT_EQ(unit->Breaks(), 2);
  EXPECT_EQ(host.Device().BreakCount(), 2);
  EXPECT_EQ(unit->Attentions(), 2);
  EXPECT_EQ(run.settings.baudRate, 38400);
  EXPECT_EQ(page.status1033, "   Baud Rate Set to 38400   ");
  EXPECT_TRUE(UnitHoldsTheBlock());
  EXPECT_EQ(speeds->ControlBlocks(), 1);
}

TEST_F(TransferSetupTest, UnitIgnoringTheLoadModeGetsFiveSpeedCommandsAndFails) {
  sim::SpeedKnobs knobs;
  knobs.ignoreLoadMode = true;
  StartSpeedUnit(knobs);
  Outcome outcome = Negotiate();
  // The log shows the speeds tried; the page stays open.
  EXPECT_EQ(outcome.ending, Ending::kNoAnswer);
  EXPECT_EQ(outcome.reaction, PageReaction::kStaysOpen);

  std::vector<std::string> sent = SpeedCommands(UnitCommands());
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent.back(), "BR 9600");
  EXPECT_EQ(Occurrences(LogText(), "Trying lower baud rate\r\n"), 4);
  EXPECT_TRUE(speeds->Frames().empty());
  // The last table speed failed too: port open at 9600, no message of its own.
  EXPECT_TRUE(run.link.open);
  EXPECT_EQ(run.settings.baudRate, 9600);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(TransferSetupTest, PortThatCannotReopenAtASpeedActsLikeAMissingReply) {
  StartSpeedUnit();
  host.Device().SetBaudRejected(115200, true);
  EXPECT_EQ(RunSetup(), Ending::kDone);
  EXPECT_EQ(SpeedCommands(UnitCommands()), (std::vector<std::string>{"BR 115200", "BR 57600"}));
  EXPECT_EQ(Occurrences(LogText(), "Trying lower baud rate\r\n"), 1);
  EXPECT_EQ(unit->Breaks(), 1);
  EXPECT_EQ(run.settings.baudRate, 57600);
  EXPECT_TRUE(UnitHoldsTheBlock());
}

TEST_F(TransferSetupTest, RefusedFirstSpeedCommandAsksAtOnceAndTriesNoOtherSpeed) {
  sim::SpeedKnobs knobs;
  knobs.refuseSpeed = true;
  StartSpeedUnit(knobs);
  Outcome outcome = Negotiate();
  EXPECT_EQ(outcome.ending, Ending::kUnitError);
  EXPECT_EQ(outcome.question, "Unit replied with an error\nTry again?");

  EXPECT_EQ(SpeedCommands(UnitCommands()), std::vector<std::string>{"BR 115200"});
  // The page asks it: the set-up shows nothing.
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(TransferSetupTest, UnansweredSpeedCommandAsksOperationTimedOut) {
  sim::LineKnobs silent;
  silent.silent = true;
  StartSpeedUnit({}, silent);
  Outcome outcome = Negotiate();
  EXPECT_EQ(outcome.ending, Ending::kNoAnswer);
  EXPECT_EQ(outcome.question, kOperationTimedOut);
  EXPECT_EQ(SpeedCommands(UnitCommands()), std::vector<std::string>{"BR 115200"});
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(TransferSetupTest, ControlBlockThatCannotBeSentIsReportedAndRetriedAfterResync) {
  // The port refuses 115200 from the moment the unit has taken the load mode,
  // so the fresh open before the block fails and the block finds no port.
  StartUnit();
  unit->Make<CommandTrigger>("P", [this] { host.Device().SetBaudRejected(115200, true); });
  speeds = &unit->Make<sim::SpeedAndModesFeature>(sim::SpeedKnobs{});
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(RunSetup(), Ending::kDone);

  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  const MessageBoxRequest& box = host.ShownBoxes()[0];
  EXPECT_EQ(box.text, "Control Block write error");
  EXPECT_EQ(box.caption, "Note");
  EXPECT_EQ(box.icon, BoxIcon::kInformation);
  EXPECT_EQ(box.owner, nullptr);
  std::string log = LogText();
  EXPECT_NE(log.find("Note: Control Block write error\r\n"), std::string::npos);
  EXPECT_NE(log.find("...Retrying\r\n"), std::string::npos);
  // Retried at 115200 (which the port still refuses), then down to 57600.
  EXPECT_EQ(SpeedCommands(UnitCommands()),
            (std::vector<std::string>{"BR 115200", "BR 115200", "BR 57600"}));
  EXPECT_EQ(run.settings.baudRate, 57600);
  EXPECT_TRUE(UnitHoldsTheBlock());
}

TEST_F(TransferSetupTest, DamagedControlBlockReplyFallsBackLikeAMissingOne) {
  // A unit that rejects the first frame it gets.
  struct RejectFirstFrame : sim::UnitFeature {
    bool OnCommandByte(sim::UnitModel& unit, std::uint8_t byte) override {
      if (byte != kFrameStart || done) return false;
      done = true;
      unit.Capture(this);
      return true;
    }
    void OnCaptureIdle(sim::UnitModel& unit) override { unit.Send("ERROR data check\r\n"); }
    bool done = false;
  };
  StartUnit();
  unit->Make<RejectFirstFrame>();
  speeds = &unit->Make<sim::SpeedAndModesFeature>(sim::SpeedKnobs{});
  EXPECT_EQ(RunSetup(), Ending::kDone);
  EXPECT_NE(LogText().find("Unit sent 'ERROR data check'\r\n\nTrying lower baud rate\r\n"),
            std::string::npos);
  EXPECT_EQ(run.settings.baudRate, 57600);
  EXPECT_TRUE(UnitHoldsTheBlock());
}

TEST_F(TransferSetupTest, CancelWhileWaitingForTheLoadModeReplyClosesThePort) {
  sim::SpeedKnobs knobs;
  knobs.ignoreLoadMode = true;
  StartSpeedUnit(knobs);
  host.At(600, [this] {
    run.CancelRequested = true;
    SerialClose(run.link);
  });
  EXPECT_EQ(RunSetup(), Ending::kCancelled);
  EXPECT_FALSE(run.link.open);
  EXPECT_EQ(SpeedCommands(UnitCommands()).size(), 1u);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(TransferSetupTest, CancelDuringTheSpeedSwitchPauseSendsNothingMore) {
  StartSpeedUnit();
  // The speed command's OK arrives within a few ms; the pause runs 400 ms after it.
  host.At(200, [this] {
    run.CancelRequested = true;
    SerialClose(run.link);
  });
  EXPECT_EQ(RunSetup(), Ending::kCancelled);
  EXPECT_FALSE(run.link.open);
  EXPECT_FALSE(host.Device().IsOpen());
  EXPECT_EQ(host.Device().OpenedBauds(), std::vector<int>{9600});
  EXPECT_EQ(std::count(UnitCommands().begin(), UnitCommands().end(), "P"), 0);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(TransferSetupTest, ControlBlockCutShortByACancelIsNoWriteError) {
  // The user ends the page just as the speed shows: the block finds no port.
  struct CancellingPage : test::RecordingTransferPage {
    explicit CancellingPage(RunState& state) : state(state) {}
    void SetStatusText(int field, std::string_view text) override {
      RecordingTransferPage::SetStatusText(field, text);
      state.CancelRequested = true;
      SerialClose(state.link);
    }
    RunState& state;
  };
  StartSpeedUnit();
  CancellingPage cancelling(run);
  OpenPort();
  EXPECT_EQ(SetupTransfer(run, cancelling, LoadMode::kProgram, block.data()).ending,
            Ending::kCancelled);
  EXPECT_FALSE(run.link.open);
  EXPECT_FALSE(host.Device().IsOpen());
  EXPECT_TRUE(host.ShownBoxes().empty());
  EXPECT_EQ(LogText().find("Control Block write error"), std::string::npos);
}

TEST_F(TransferSetupTest, CancelDuringAFallBackHandshakeStopsThere) {
  sim::SpeedKnobs knobs;
  knobs.ignoreLoadMode = true;
  sim::LineKnobs line;
  StartSpeedUnit(knobs, line);
  // The unit stops answering the handshake once the first speed has failed.
  host.At(1000, [this] { unit->MutableKnobs().silent = true; });
  host.At(3000, [this] {
    run.CancelRequested = true;
    SerialClose(run.link);
  });
  EXPECT_EQ(RunSetup(), Ending::kCancelled);
  EXPECT_FALSE(run.link.open);
  EXPECT_EQ(SpeedCommands(UnitCommands()).size(), 1u);
  EXPECT_EQ(LogText().find("Trying lower baud rate"), std::string::npos);
}

}  // namespace
}  // namespace rv4410::test
