// The simulated unit's program load: framed blocks, the probe, the flash
// write and its restart, the raw load, and their fault knobs.

#include "sim/program_load.h"

#include <gtest/gtest.h>

#include "support/image_builders.h"
#include "unit/sim/sim_load_fixture.h"

namespace rv4410::test {
namespace {

Bytes Image(std::size_t length = 2500) {
  ProgramImagePlan plan;
  plan.length = length;
  return BuildProgramImage(plan);
}

class SimProgramLoadTest : public SimLoadTest {};

TEST_F(SimProgramLoadTest, FramedImageIsFlashedAndTheUnitRestarts) {
  Start();
  Bytes image = Image();
  LoadProgram(image, 115200);
  EXPECT_EQ(program->Blocks(), 3u);
  EXPECT_EQ(program->Received(), image);
  EXPECT_EQ(FlashWrite(), "Begin erase\r\nBegin write\r\nOK\r\n");
  driver->Receive(10, baud);
  EXPECT_EQ(program->Flashed(), image);
  EXPECT_EQ(program->FlashCommits(), 1);
  EXPECT_TRUE(unit->Restarting());
  driver->Receive(1500, 9600);
  EXPECT_TRUE(Answers(9600));
  EXPECT_EQ(unit->Log().Details("flash-program"), std::vector<std::string>{"2500 bytes"});
  EXPECT_EQ(unit->Log().Count("restart"), 1u);
  // The flashed image is kept; nothing is left to write.
  driver->Send("W\r\n", 9600);
  EXPECT_EQ(driver->Receive(100, 9600), "ERROR nothing to write\r\n");
  EXPECT_EQ(program->Flashed(), image);
}

TEST_F(SimProgramLoadTest, ImageOfOnlyAControlBlockIsFlashedWhole) {
  Start();
  Bytes image = Image(256);
  LoadProgram(image);
  EXPECT_EQ(FlashWrite(), "Begin erase\r\nBegin write\r\nOK\r\n");
  driver->Receive(10, baud);
  EXPECT_EQ(program->Flashed(), image);
}

TEST_F(SimProgramLoadTest, BreakAndHandshakeBeforeTheFlashWriteKeepTheLoad) {
  Start();
  Bytes image = Image();
  LoadProgram(image, 57600);
  driver->SendBreak();
  baud = 9600;
  EXPECT_TRUE(Answers(9600));
  FlashWrite();
  driver->Receive(10, baud);
  EXPECT_EQ(program->Flashed(), image);
}

struct FlashTimeCase {
  std::size_t bytes;
  std::int64_t eraseMs;
  std::int64_t usPerKiB;
};

class SimFlashTimeTest : public SimLoadTest, public ::testing::WithParamInterface<FlashTimeCase> {};

TEST_P(SimFlashTimeTest, FlashWriteTakesItsEraseTimeAndTimePerKiB) {
  FlashTimeCase c = GetParam();
  options.program.flash.eraseUs = c.eraseMs * 1000;
  options.program.flash.usPerKiB = c.usPerKiB;
  Start();
  LoadProgram(Image(c.bytes));
  EXPECT_EQ(Talk("\r\n"), "OK\r\n");
  driver->Send("W\r\n", baud);
  std::int64_t start = driver->NowUs();
  std::string got = driver->ReceiveUntil("OK\r\n", 600000, baud);
  std::int64_t expected =
      c.eraseMs * 1000 + static_cast<std::int64_t>((c.bytes + 1023) / 1024) * c.usPerKiB;
  std::int64_t took = driver->NowUs() - start;
  EXPECT_GE(took, expected);
  EXPECT_LT(took, expected + 20'000);
  EXPECT_EQ(got.substr(0, 5), "Begin");
}

INSTANTIATE_TEST_SUITE_P(Sizes, SimFlashTimeTest,
                         ::testing::Values(FlashTimeCase{256, 300, 1000},
                                           FlashTimeCase{64 * 1024 + 256, 300, 1000},
                                           FlashTimeCase{200 * 1024, 1000, 5000}));

// On a pseudo-terminal the unit drops back to 9600 after a quiet spell; its
// own minutes of flash writing must not count as one.
TEST_F(SimProgramLoadTest, LongFlashWriteKeepsTheSpeedTheLoaderUses) {
  options.speeds = sim::PtySpeedKnobs();
  options.program.flash.eraseUs = 20'000'000;
  options.program.flash.usPerKiB = 30'000'000;  // five minutes for ten KiB
  options.program.flash.beginEveryUs = 100'000'000;
  Start();
  LoadProgram(Image(10 * 1024), 115200);
  driver->Receive(300, baud);  // the loader's pause and handshake come well inside the spell
  EXPECT_TRUE(Answers(115200));
  std::string got = FlashWrite(400000);
  // "Begin write" at 20 s, 120 s and 220 s; done at 320 s.
  EXPECT_EQ(got, "Begin erase\r\nBegin write\r\nBegin write\r\nBegin write\r\nOK\r\n");
  driver->Receive(10, baud);
  EXPECT_EQ(program->FlashCommits(), 1);
}

TEST_F(SimProgramLoadTest, RetryAnswersComeBeforeTheWrite) {
  options.program.flash.retryTimes = 3;
  Start();
  LoadProgram(Image());
  for (int i = 0; i < 3; ++i) {
    driver->Send("W\r\n", baud);
    EXPECT_EQ(driver->Receive(100, baud), "Retry\r\n");
  }
  EXPECT_EQ(program->FlashCommits(), 0);
  EXPECT_EQ(FlashWrite(), "Begin erase\r\nBegin write\r\nOK\r\n");
  EXPECT_EQ(program->Flash().Retries(), 3);
  EXPECT_EQ(unit->Log().Count("flash-retry"), 3u);
}

TEST_F(SimProgramLoadTest, SecondWriteRequestDuringTheWriteIsIgnored) {
  Start();
  LoadProgram(Image());
  EXPECT_EQ(Talk("\r\n"), "OK\r\n");
  EXPECT_EQ(Talk("W\r\n", 100), "Begin erase\r\n");
  EXPECT_EQ(Talk("W\r\n", 1000), "Begin write\r\nOK\r\n");
  driver->Receive(3000, 9600);
  EXPECT_EQ(program->FlashCommits(), 1);
  EXPECT_EQ(unit->Restarts(), 1);
}

TEST_F(SimProgramLoadTest, FailedWriteEndsWithItsLineAndNeitherCommitsNorRestarts) {
  options.program.flash.failLine = "ERROR flash verify";
  Start();
  LoadProgram(Image());
  std::string got = FlashWrite(5000);
  EXPECT_EQ(got, "Begin erase\r\nBegin write\r\nERROR flash verify\r\n");
  driver->Receive(3000, baud);
  EXPECT_EQ(program->FlashCommits(), 0);
  EXPECT_EQ(unit->Restarts(), 0);
  EXPECT_TRUE(Answers());
}

TEST_F(SimProgramLoadTest, SilentWriteHangsTheUnitUntilItsPowerIsCycled) {
  options.program.flash.silent = true;
  Start();
  LoadProgram(Image());
  EXPECT_EQ(FlashWrite(300000), "Begin erase\r\n");
  EXPECT_FALSE(Answers());
  EXPECT_EQ(program->FlashCommits(), 0);
  unit->Restart();
  driver->Receive(1500, 9600);
  EXPECT_TRUE(Answers());
}

TEST_F(SimProgramLoadTest, ConfigurationIsKeptOrForgottenAcrossTheWrite) {
  for (bool forget : {false, true}) {
    options.program.flash.forgetConfiguration = forget;
    Start();
    configuration->Store().Set("BRIGHTNESS", 7);
    LoadProgram(Image());
    FlashWrite();
    driver->Receive(2000, 9600);
    std::uint32_t value = 0;
    ASSERT_TRUE(configuration->Store().Value("BRIGHTNESS", value));
    EXPECT_EQ(value, forget ? 0xFFFFFFFFu : 7u) << "forget " << forget;
  }
}

struct BlockFaultCase {
  sim::BlockFault fault;
  int times;
  std::string answer;  // to block 1 while faulty
};

class SimBlockFaultTest : public SimLoadTest,
                          public ::testing::WithParamInterface<BlockFaultCase> {};

TEST_P(SimBlockFaultTest, ChosenBlockGetsItsFaultOnItsFirstAttemptsOfProgramsAndMaps) {
  BlockFaultCase c = GetParam();
  for (sim::BlockKnobs* blocks : {&options.program.blocks, &options.map.blocks}) {
    blocks->faultBlock = 1;
    blocks->faultTimes = c.times;
    blocks->fault = c.fault;
  }
  Start();
  Bytes image = Image(256 + 3 * 1024);
  Bytes control(image.begin(), image.begin() + 256);
  for (char mode : {'P', 'M'}) {
    std::uint32_t bias = mode == 'P' ? 0 : 256;
    std::size_t first = mode == 'P' ? 256 : 0;
    SetUpLoad(mode, control);
    EXPECT_EQ(Block(image, first, static_cast<std::uint32_t>(first + bias)), "OK\r\n");
    for (int attempt = 0; attempt < c.times; ++attempt) {
      EXPECT_EQ(Block(image, first + 1024, static_cast<std::uint32_t>(first + 1024 + bias)),
                c.answer)
          << mode << " attempt " << attempt;
    }
    EXPECT_EQ(Block(image, first + 1024, static_cast<std::uint32_t>(first + 1024 + bias)),
              "OK\r\n");
    EXPECT_EQ(Block(image, first + 2048, static_cast<std::uint32_t>(first + 2048 + bias)),
              "OK\r\n");
  }
  EXPECT_EQ(program->Attempts(1), c.times + 1);
  EXPECT_EQ(map->Attempts(1), c.times + 1);
  EXPECT_EQ(map->Attempts(2), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SimBlockFaultTest,
    ::testing::Values(BlockFaultCase{sim::BlockFault::kDrop, 1, ""},
                      BlockFaultCase{sim::BlockFault::kDrop, 3, ""},
                      BlockFaultCase{sim::BlockFault::kGarble, 2,
                                     std::string{static_cast<char>(sim::Garbled('O')),
                                                 static_cast<char>(sim::Garbled('K')), '\r', '\n'}},
                      BlockFaultCase{sim::BlockFault::kErrorLine, 1, "ERROR block rejected\r\n"}));

TEST_F(SimProgramLoadTest, NeverAnsweringUnitStillStoresItsBlocks) {
  options.program.blocks.neverAnswer = true;
  Start();
  Bytes image = Image();
  SetUpLoad('P', Bytes(image.begin(), image.begin() + 256));
  for (int attempt = 0; attempt < 10; ++attempt) EXPECT_EQ(Block(image, 256, 256), "");
  EXPECT_EQ(program->Attempts(0), 10);
}

TEST_F(SimProgramLoadTest, BlocksOutsideTheImageOrWithoutAControlBlockAreRefused) {
  Start();
  Bytes image = Image();
  ASSERT_EQ(Talk("P\r"), "OK\r\n");
  EXPECT_EQ(Block(image, 256, 256), "ERROR no control block\r\n");
  ASSERT_EQ(Talk(Frame(0x43, Bytes(image.begin(), image.begin() + 256)), 300), "OK\r\n");
  EXPECT_EQ(Block(image, 0, 0), "ERROR address\r\n");
  EXPECT_EQ(Block(image, 256, static_cast<std::uint32_t>(sim::kFlashLimitBytes)),
            "ERROR address\r\n");
  EXPECT_EQ(Block(image, 256, 256), "OK\r\n");
  EXPECT_EQ(program->Received().size(), 256u + 1024u);
}

TEST_F(SimProgramLoadTest, WithoutALoadTheProbeGetsNoAnswer) {
  Start();
  EXPECT_EQ(Talk("\r\n"), "");
}

struct HangUpCase {
  const char* option;
  std::string journal;
};

class SimHangUpTest : public SimLoadTest, public ::testing::WithParamInterface<HangUpCase> {};

TEST_P(SimHangUpTest, LineGoesForGoodAtTheChosenPhase) {
  HangUpCase c = GetParam();
  ASSERT_TRUE(sim::ParseHangUp(c.option, options.program.hangUp));
  Start();
  Bytes image = Image();
  if (std::string(c.option) == "raw") {
    ASSERT_EQ(Talk("BC 9C4\r\n"), "OK\r\n");
    Talk("D\r\n");
    Talk(AsString(image), 100);
  } else {
    SetUpLoad('P', Bytes(image.begin(), image.begin() + 256));
    for (std::size_t offset = 256; offset < image.size() && !unit->HungUp(); offset += 1024) {
      Block(image, offset, static_cast<std::uint32_t>(offset));
    }
    if (!unit->HungUp()) FlashWrite(5000);
    driver->Receive(100, baud);
  }
  EXPECT_TRUE(unit->HungUp());
  EXPECT_EQ(unit->Log().Details("hang-up"), std::vector<std::string>{c.journal});
  EXPECT_FALSE(Answers());
  EXPECT_EQ(unit->NextEventUs(), sim::kNeverUs);
}

INSTANTIATE_TEST_SUITE_P(Phases, SimHangUpTest,
                         ::testing::Values(HangUpCase{"block:1", "program block 1"},
                                           HangUpCase{"raw", "raw data 1250 of 2500"},
                                           HangUpCase{"flash", "flash"},
                                           HangUpCase{"restart", "restart"}));

class SimRawLoadTest : public SimLoadTest {};

TEST_F(SimRawLoadTest, CountedBytesAreAnsweredAfterTheLastAndFlashed) {
  Start();
  Bytes image = Image(1000);
  // Bytes the command mode would act on travel as plain data.
  image[300] = 0x18;
  image[301] = 0x10;
  image[302] = '\r';
  ASSERT_EQ(Talk("BC 3E8\r\n"), "OK\r\n");
  EXPECT_EQ(Talk("D\r\n", 0), "");
  EXPECT_EQ(Talk(AsString(Bytes(image.begin(), image.end() - 1)), 500), "");
  EXPECT_EQ(Talk(std::string(1, static_cast<char>(image.back()))), "OK\r\n");
  EXPECT_EQ(program->Received(), image);
  driver->Send("W\r\n", baud);
  EXPECT_EQ(driver->ReceiveUntil("OK\r\n", 5000, baud), "Begin erase\r\nBegin write\r\nOK\r\n");
  driver->Receive(10, baud);
  EXPECT_EQ(program->Flashed(), image);
  EXPECT_EQ(unit->Log().Details("raw-data"), std::vector<std::string>{"1000 bytes"});
}

TEST_F(SimRawLoadTest, RetryAnswersRepeatUntilTheWriteRuns) {
  options.program.flash.retryTimes = 2;
  Start();
  Bytes image = Image(300);
  ASSERT_EQ(Talk("BC 12c\r\n"), "OK\r\n");
  Talk("D\r\n" + AsString(image));
  for (const char* expected : {"Retry\r\n", "Retry\r\n", "Begin erase\r\n"}) {
    driver->Send("W\r\n", baud);
    EXPECT_EQ(driver->ReceiveUntil("\n", 5000, baud), expected);
  }
}

TEST_F(SimRawLoadTest, BadCountsAndMissingCountsAreRefused) {
  Start();
  for (const char* command :
       {"BC\r\n", "BC 0\r\n", "BC xyz\r\n", "BC 3E8Z\r\n", "BC 1000001\r\n"}) {
    EXPECT_EQ(Talk(command), "ERROR byte count\r\n") << command;
  }
  EXPECT_EQ(Talk("D\r\n"), "ERROR no byte count\r\n");
  EXPECT_FALSE(unit->Captured());
}

TEST_F(SimRawLoadTest, StreamCutShortIsGivenUpOnceTheSenderStops) {
  Start();
  ASSERT_EQ(Talk("BC 100\r\n"), "OK\r\n");
  Talk("D\r\n" + std::string(100, 'x'));
  EXPECT_EQ(driver->Receive(2500, baud), "ERROR data incomplete\r\n");
  EXPECT_FALSE(unit->Captured());
  EXPECT_FALSE(program->HasLoad());
  EXPECT_TRUE(Answers());
}

}  // namespace
}  // namespace rv4410::test
