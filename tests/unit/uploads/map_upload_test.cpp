// Write Map against a whole simulated unit in virtual time: the placed
// control block, the blocks with their questions, the flash write.

#include "uploads/map_upload.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "protocol/command_lines.h"
#include "protocol/page_results.h"
#include "sim/identification.h"
#include "support/image_builders.h"
#include "transfer_fixture.h"
#include "uploads/upload_steps.h"

namespace rv4410::test {
namespace {

class MapUploadTest : public TransferTest {
 protected:
  void Prepare(std::size_t length, sim::SimOptions options = WholeUnitOptions()) {
    options.identification.mapBase = 0x20000;
    StartWholeUnit(options);
    // The unit identified itself on the waiting page.
    auto record = sim::IdentificationRecord(options.identification);
    std::copy(record.begin(), record.end(), run.unitInfo.bytes.begin());
    run.UnitInfoValid = true;
    data = PatternBytes(length, 25);
    LoadImage(data);
    for (std::size_t i = 0; i < kControlBlockBytes; ++i) {
      state.files.mapControlBlock.bytes[i] = static_cast<std::uint8_t>(i ^ 0x5A);
    }
    for (std::size_t field = 0; field < 7; ++field) {
      state.files.mapControlBlock.SetWord(field * 8, static_cast<std::uint32_t>(field) * 0x400);
    }
    fileBlock = state.files.mapControlBlock;
  }
  int Upload() {
    page.CommandAt(host.TickCount() + 3'000'000, TransferCommand::kExit);
    return RunTransfer(kWriteMap);
  }
  bool LeftOpen() const { return page.endedAtMs > page.timerReturnedAtMs; }
  int Sent(const std::string& command) const { return Count(unit->Commands(), command); }
  std::vector<std::uint8_t> Bytes(const ControlBlock& block) const {
    return {block.bytes.begin(), block.bytes.end()};
  }

  std::vector<std::uint8_t> data;
  ControlBlock fileBlock;
};

TEST_F(MapUploadTest, TheMapLandsInFlashBehindItsPlacedControlBlock) {
  Prepare(2500);
  EXPECT_EQ(Upload(), kPageLeave);
  ASSERT_EQ(map->FlashCommits(), 1);
  EXPECT_EQ(map->Flashed(), data);
  ControlBlock placed = fileBlock;
  RelocateMapControlBlock(placed, 0x20000);
  EXPECT_EQ(placed.Word(8), 0x400u + 0x20100u);
  EXPECT_EQ(map->FlashedControlBlock(), Bytes(placed));
  EXPECT_EQ(map->Blocks(), 3u);
  EXPECT_EQ(page.progress, (std::vector<int>{0, 409, 819, 1000}));
  EXPECT_EQ(page.status1032.back(), "sent 2500 of 2500 bytes");
  EXPECT_EQ(page.status1033.back(), "          Done            ");
  EXPECT_EQ(page.phases,
            (std::vector<TransferPhase>{TransferPhase::kSendingMap, TransferPhase::kWritingFlash}));
  EXPECT_TRUE(LeftOpen());
  EXPECT_TRUE(page.exitEnabled);
  EXPECT_FALSE(state.BusyCursor);
  EXPECT_TRUE(host.ShownBoxes().empty());
  EXPECT_FALSE(run.link.open);
  EXPECT_EQ(exchange->CompletedWrites(), 0);
  for (const char* step : {"Sending Map Data, 2500 bytes...", "Find instrument again",
                           "Writing to flash", "Done..."}) {
    EXPECT_NE(page.log.text.find(step), std::string::npos) << step;
  }
}

TEST_F(MapUploadTest, BlockAddressesCountFromTheControlBlock) {
  Prepare(2500);
  Upload();
  std::vector<std::uint32_t> addresses;
  for (const auto& frame : unit->Find<sim::SpeedAndModesFeature>()->Frames()) {
    if (frame.type == 0x44) addresses.push_back(frame.address);
  }
  EXPECT_EQ(addresses, (std::vector<std::uint32_t>{256, 1280, 2304}));
}

TEST_F(MapUploadTest, ASecondUploadInTheRunSendsThePlacedBlockUnchanged) {
  Prepare(1200);
  Upload();
  std::vector<std::uint8_t> first = map->FlashedControlBlock();
  VirtualTransferPage again(host, state);
  again.CommandAt(host.TickCount() + 3'000'000, TransferCommand::kExit);
  DoTransfer(state, again);
  ASSERT_EQ(map->FlashCommits(), 2);
  EXPECT_EQ(map->FlashedControlBlock(), first);
}

TEST_F(MapUploadTest, AUnitThatNeverAnswersABlockIsAskedAgainAfterEachFurtherTimeout) {
  sim::SimOptions options = WholeUnitOptions();
  options.map.blocks.neverAnswer = true;
  Prepare(2000, options);
  host.AnswerNextBox(BoxAnswer::kYes);
  host.AnswerNextBox(BoxAnswer::kNo);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(map->Attempts(0), 11);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kBlockSendTimedOut, kBlockSendTimedOut}));
  EXPECT_EQ(host.ShownBoxes()[0].owner, nullptr);
  EXPECT_EQ(host.ShownBoxes()[0].buttons, BoxButtons::kYesNo);
  EXPECT_EQ(page.status1033.back(), "    Retry count 11    ");
  EXPECT_NE(LogText().find("    Retry count 10    "), std::string::npos);
  // No: the port is closed and the page stays open.
  EXPECT_TRUE(LeftOpen());
  EXPECT_FALSE(run.link.open);
  std::size_t commands = unit->Commands().size();
  host.RunFor(10'000);
  EXPECT_EQ(unit->Commands().size(), commands);
  EXPECT_EQ(map->FlashCommits(), 0);
}

TEST_F(MapUploadTest, TheQuestionIsTheOneOfTheFailureThatReachedTheLimit) {
  sim::SimOptions options = WholeUnitOptions();
  options.map.blocks.faultBlock = 0;
  options.map.blocks.faultTimes = 100;
  options.map.blocks.fault = sim::BlockFault::kDrop;
  Prepare(2000, options);
  // Five timeouts, then wrong answers.
  host.Every(10, [&] {
    if (map->Attempts(0) < 5) return true;
    map->Knobs().blocks.fault = sim::BlockFault::kErrorLine;
    return false;
  });
  host.AnswerNextBox(BoxAnswer::kNo);
  Upload();
  EXPECT_EQ(map->Attempts(0), 10);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kUnitRepliedError});
  EXPECT_NE(LogText().find("Unit sent 'ERROR"), std::string::npos);
}

TEST_F(MapUploadTest, RetrySendsOnlyTheWriteAgain) {
  sim::SimOptions options = WholeUnitOptions();
  options.map.flash.retryTimes = 3;
  Prepare(1500, options);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(Sent("W"), 4);
  // One probe, before the first write only: no new handshake either.
  const std::vector<std::string>& commands = unit->Commands();
  auto firstWrite = std::find(commands.begin(), commands.end(), "W");
  ASSERT_NE(firstWrite, commands.begin());
  EXPECT_EQ(*(firstWrite - 1), "");
  EXPECT_TRUE(
      std::all_of(firstWrite, commands.end(), [](const std::string& c) { return c == "W"; }));
  EXPECT_EQ(map->FlashCommits(), 1);
}

TEST_F(MapUploadTest, AFailedBurnAsksItsOwnQuestion) {
  sim::SimOptions options = WholeUnitOptions();
  options.map.flash.failLine = "ERROR burn";
  Prepare(1500, options);
  host.AnswerNextBox(BoxAnswer::kYes);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(Upload(), kPageTryAgain);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kBurnFlashFailed, kResetUnitNote}));
}

TEST_F(MapUploadTest, AFlashWriteThatFallsSilentAfterBeginIsATimeout) {
  sim::SimOptions options = WholeUnitOptions();
  options.map.flash.silent = true;
  Prepare(1500, options);
  host.AnswerNextBox(BoxAnswer::kNo);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kOperationTimedOut});
  EXPECT_EQ(Sent("W"), 1);
}

TEST_F(MapUploadTest, ASetUpThatGivesUpLeavesThePageOpen) {
  sim::SimOptions options = WholeUnitOptions();
  options.speeds.ignoreLoadMode = true;
  Prepare(1500, options);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_TRUE(LeftOpen());
  EXPECT_TRUE(page.exitEnabled);
  EXPECT_TRUE(host.ShownBoxes().empty());
  EXPECT_EQ(map->Blocks(), 0u);
}

}  // namespace
}  // namespace rv4410::test
