// The simulated unit's map load: data blocks from address 256, the map's own
// flash write, and what it keeps of the flashed map.

#include "sim/map_load.h"

#include <gtest/gtest.h>

#include "platform/virtual_host.h"
#include "sim/in_memory_line.h"
#include "support/image_builders.h"
#include "support/temp_dir.h"
#include "unit/sim/sim_load_fixture.h"

namespace rv4410::test {
namespace {

class SimMapLoadTest : public SimLoadTest {
 protected:
  Bytes control = PatternBytes(256, 3);
  Bytes data = PatternBytes(2500, 4);
};

TEST_F(SimMapLoadTest, DataFromAddress256IsFlashedWithItsControlBlock) {
  TempDir dir;
  options.map.mapOut = dir.File("map.bin");
  options.map.controlBlockOut = dir.File("map_control.bin");
  Start();
  LoadMap(control, data, 38400);
  EXPECT_EQ(map->Received(), data);
  EXPECT_EQ(map->ReceivedControlBlock(), control);
  EXPECT_EQ(program->HasLoad(), false);
  EXPECT_EQ(FlashWrite(), "Begin erase\r\nBegin write\r\nOK\r\n");
  driver->Receive(10, baud);
  EXPECT_EQ(map->Flashed(), data);
  EXPECT_EQ(map->FlashedControlBlock(), control);
  EXPECT_EQ(program->FlashCommits(), 0);
  EXPECT_EQ(unit->Log().Details("flash-map"), std::vector<std::string>{"2500 bytes"});
  EXPECT_EQ(ReadFile(options.map.mapOut), AsString(data));
  EXPECT_EQ(ReadFile(options.map.controlBlockOut), AsString(control));
  driver->Receive(1500, 9600);
  EXPECT_TRUE(Answers());
}

TEST_F(SimMapLoadTest, MapFlashWriteTakesItsOwnTime) {
  options.map.flash.eraseUs = 4'000'000;
  options.map.flash.usPerKiB = 10'000;
  Start();
  LoadMap(control, data);
  EXPECT_EQ(Talk("\r\n"), "OK\r\n");
  driver->Send("W\r\n", baud);
  std::int64_t start = driver->NowUs();
  driver->ReceiveUntil("OK\r\n", 10000, baud);
  EXPECT_GE(driver->NowUs() - start, 4'000'000 + 3 * 10'000);
  EXPECT_LT(driver->NowUs() - start, 4'000'000 + 3 * 10'000 + 20'000);
}

TEST_F(SimMapLoadTest, ProgramLoadAfterAMapLoadFlashesTheProgram) {
  Start();
  LoadMap(control, data);
  ProgramImagePlan plan;
  Bytes image = BuildProgramImage(plan);
  LoadProgram(image);
  FlashWrite();
  driver->Receive(10, baud);
  EXPECT_EQ(program->Flashed(), image);
  EXPECT_EQ(map->FlashCommits(), 0);
}

TEST_F(SimMapLoadTest, BlocksBelowAddress256AreRefused) {
  Start();
  SetUpLoad('M', control);
  EXPECT_EQ(Block(data, 0, 0), "ERROR address\r\n");
  EXPECT_EQ(Block(data, 0, 256), "OK\r\n");
}

TEST_F(SimMapLoadTest, NeverAnsweringUnitAndAHangUpAtAMapBlock) {
  options.map.blocks.neverAnswer = true;
  Start();
  SetUpLoad('M', control);
  EXPECT_EQ(Block(data, 0, 256, 2050), "");
  EXPECT_EQ(Block(data, 0, 256, 2050), "");
  EXPECT_EQ(map->Attempts(0), 2);

  options.map.blocks.neverAnswer = false;
  ASSERT_TRUE(sim::ParseHangUp("block:2", options.map.hangUp));
  Start();
  SetUpLoad('M', control);
  EXPECT_EQ(Block(data, 0, 256), "OK\r\n");
  EXPECT_EQ(Block(data, 1024, 1280), "OK\r\n");
  EXPECT_EQ(Block(data, 2048, 2304), "");
  EXPECT_EQ(unit->Log().Details("hang-up"), std::vector<std::string>{"map block 2"});
}

// On the in-memory line a unit that hangs up takes the loader's device with it.
TEST(SimInMemoryHangUpTest, OpenPortClosesAndCannotBeOpenedAgain) {
  VirtualHost host;
  sim::UnitModel unit;
  sim::InMemoryLine line(host, unit);
  ASSERT_TRUE(host.Device().Open("COM1", 9600));
  host.At(50, [&unit] { unit.HangUp("test"); });
  host.RunFor(100);
  EXPECT_FALSE(host.Device().IsOpen());
  EXPECT_FALSE(host.Device().Open("COM1", 9600));
  EXPECT_TRUE(host.Device().Open("COM2", 9600));
}

TEST(SimHangUpParseTest, NamesThePhase) {
  sim::HangUpKnobs knobs;
  ASSERT_TRUE(sim::ParseHangUp("block:12", knobs));
  EXPECT_EQ(knobs.phase, sim::HangUpPhase::kBlock);
  EXPECT_EQ(knobs.block, 12);
  for (const char* bad : {"block:", "block:-1", "block:1x", "blocks:1", "Flash", ""}) {
    EXPECT_FALSE(sim::ParseHangUp(bad, knobs)) << bad;
  }
}

}  // namespace
}  // namespace rv4410::test
