// The simulated unit's speed commands, load modes, control block frame, the
// cable's top speed, and its return to 9600 baud.

#include "sim/speed_and_modes.h"

#include <gtest/gtest.h>

#include <vector>

#include "unit/sim/unit_line_driver.h"

namespace rv4410::test {
namespace {

std::vector<std::uint8_t> Block() {
  std::vector<std::uint8_t> block(256);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);
  return block;
}

class SimSpeedTest : public ::testing::Test {
 protected:
  explicit SimSpeedTest(sim::LineKnobs line = {}) : unit(line), line(unit) {}
  sim::SpeedAndModesFeature& Feature(sim::SpeedKnobs knobs = {}) {
    feature = &unit.Make<sim::SpeedAndModesFeature>(std::move(knobs));
    return *feature;
  }

  sim::UnitModel unit;
  UnitLineDriver line;
  sim::SpeedAndModesFeature* feature = nullptr;
};

TEST_F(SimSpeedTest, SpeedCommandIsAnsweredAtTheOldSpeedAndTheNewOneHoldsAfter) {
  Feature();
  line.Send("BR 57600\r", 9600);
  EXPECT_EQ(line.Receive(50, 9600), "OK\r\n");
  EXPECT_EQ(unit.Speed(), 57600);
  line.Send("P\r", 57600);
  EXPECT_EQ(line.Receive(50, 57600), "OK\r\n");
  EXPECT_EQ(feature->LoadMode(), 'P');
  line.Send("M\r", 57600);
  EXPECT_EQ(line.Receive(50, 57600), "OK\r\n");
  EXPECT_EQ(feature->LoadMode(), 'M');
}

TEST_F(SimSpeedTest, RefusedOrUnknownSpeedsGetAnErrorLineAndKeepTheSpeed) {
  sim::SpeedKnobs knobs;
  knobs.refuseSpeed = true;
  auto& speeds = Feature(knobs);
  line.Send("BR 19200\r", 9600);
  EXPECT_EQ(line.Receive(50, 9600).rfind("ERROR", 0), 0u);
  EXPECT_EQ(unit.Speed(), 9600);
  speeds.Knobs().refuseSpeed = false;
  line.Send("BR 12345\r", 9600);
  EXPECT_EQ(line.Receive(50, 9600).rfind("ERROR", 0), 0u);
  line.Send("BR 19200x\r", 9600);
  EXPECT_EQ(line.Receive(50, 9600).rfind("ERROR", 0), 0u);
  EXPECT_EQ(unit.Speed(), 9600);
}

TEST_F(SimSpeedTest, IgnoredLoadModeGetsNoAnswer) {
  sim::SpeedKnobs knobs;
  knobs.ignoreLoadMode = true;
  Feature(knobs);
  line.Send("P\r", 9600);
  EXPECT_EQ(line.Receive(500, 9600), "");
}

TEST_F(SimSpeedTest, ControlFrameIsCheckedStoredAndAnswered) {
  Feature();
  line.Send(Frame(0x43, Block()), 9600);
  EXPECT_EQ(line.Receive(50, 9600), "OK\r\n");
  EXPECT_EQ(feature->ControlBlock(), Block());
  EXPECT_EQ(feature->ControlBlocks(), 1);

  line.Send(Frame(0x43, Block(), 0, true), 9600);
  EXPECT_EQ(line.Receive(50, 9600), "ERROR data check\r\n");
  line.Send(Frame(0x44, Block()), 9600);
  EXPECT_EQ(line.Receive(50, 9600), "ERROR frame type\r\n");
  line.Send(Frame(0x43, std::vector<std::uint8_t>(100, 1)), 9600);
  EXPECT_EQ(line.Receive(50, 9600), "ERROR control block\r\n");
  EXPECT_EQ(feature->ControlBlocks(), 1);
  EXPECT_EQ(feature->Frames().size(), 4u);
}

TEST_F(SimSpeedTest, OtherFrameTypesGoToTheirHandlerOnceChecked) {
  Feature();
  std::vector<sim::DecodedFrame> handled;
  feature->HandleFrames(0x44, [&](sim::UnitModel&, const sim::DecodedFrame& frame) {
    handled.push_back(frame);
    return std::string("OK\r\n");
  });
  std::vector<std::uint8_t> data(1024, 0x10);
  line.Send(Frame(0x44, data, 0x400), 9600);
  EXPECT_EQ(line.Receive(50, 9600), "OK\r\n");
  ASSERT_EQ(handled.size(), 1u);
  EXPECT_EQ(handled[0].address, 0x400u);
  EXPECT_EQ(handled[0].data, data);
  line.Send(Frame(0x44, data, 0x800, true), 9600);
  EXPECT_EQ(line.Receive(50, 9600), "ERROR data check\r\n");
  EXPECT_EQ(handled.size(), 1u);
  EXPECT_EQ(feature->ControlBlocks(), 0);
}

TEST_F(SimSpeedTest, DamagedHeaderIsAnsweredOnceTheSenderStops) {
  Feature();
  std::string frame = Frame(0x43, Block());
  frame[9] ^= 0x01;  // header check
  line.Send(frame, 9600);
  EXPECT_EQ(line.Receive(100, 9600), "");
  EXPECT_EQ(line.Receive(400, 9600), "ERROR header check\r\n");
  EXPECT_FALSE(unit.Captured());
  // The unit takes commands again.
  line.Send("P\r", 9600);
  EXPECT_EQ(line.Receive(50, 9600), "OK\r\n");
}

TEST_F(SimSpeedTest, BreakBringsTheUnitBackTo9600) {
  Feature();
  line.Send("BR 115200\r", 9600);
  line.Receive(50, 9600);
  EXPECT_EQ(unit.Speed(), 115200);
  line.SendBreak();
  EXPECT_EQ(unit.Speed(), 9600);
}

TEST_F(SimSpeedTest, QuietSpellBringsTheUnitBackOnlyWhenNothingValidCame) {
  sim::SpeedKnobs knobs;
  knobs.quietReturnUs = 1'000'000;
  Feature(knobs);
  line.Send("BR 38400\r", 9600);
  line.Receive(600, 9600);
  line.Send("P\r", 38400);  // valid: the spell starts again
  line.Receive(600, 38400);
  EXPECT_EQ(unit.Speed(), 38400);
  line.Send("\x18\x18\x18\x18\x18", 9600);  // garbled at the unit: not valid
  line.Receive(500, 9600);
  EXPECT_EQ(unit.Speed(), 9600);
}

class SimCableTest : public SimSpeedTest {
 protected:
  static sim::LineKnobs Cable() {
    sim::LineKnobs knobs;
    knobs.cableMaxBaud = 38400;
    return knobs;
  }
  SimCableTest() : SimSpeedTest(Cable()) {}
};

TEST_F(SimCableTest, AboveTheCablesTopSpeedBytesGarbleBothWays) {
  Feature();
  line.Send("BR 57600\r", 9600);
  EXPECT_EQ(line.Receive(50, 9600), "OK\r\n");
  line.Send("P\r", 57600);
  EXPECT_EQ(line.Receive(100, 57600), "");
  EXPECT_EQ(feature->LoadMode(), 0);
  EXPECT_GT(unit.GarbledBytes(), 0u);

  // Out of the unit: what it sends at 57600 arrives garbled at 57600 too.
  unit.Send("OK\r\n");
  std::string got = line.Receive(50, 57600);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got.find_first_of("OK\r\n"), std::string::npos);
  line.SendBreak();
  line.Send("BR 38400\r", 9600);
  EXPECT_EQ(line.Receive(50, 9600), "OK\r\n");
  line.Send("M\r", 38400);
  EXPECT_EQ(line.Receive(50, 38400), "OK\r\n");
}

}  // namespace
}  // namespace rv4410::test
