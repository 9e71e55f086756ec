// The unit's restart ("RESET"): silent for its restart time, then back at its
// start speed in command mode with its parameters kept; and its journal.

#include "sim/restart.h"

#include <gtest/gtest.h>

#include "unit/sim/sim_load_fixture.h"

namespace rv4410::test {
namespace {

class SimRestartTest : public SimLoadTest, public ::testing::WithParamInterface<std::int64_t> {};

TEST_P(SimRestartTest, ResetSilencesTheUnitForItsRestartTimeAndKeepsItsParameters) {
  std::int64_t restartMs = GetParam();
  options.line.restartUs = restartMs * 1000;
  Start();
  configuration->Store().Set("BRIGHTNESS", 0x1234);
  ASSERT_EQ(Talk("BR 115200\r"), "OK\r\n");
  baud = 115200;
  EXPECT_EQ(Talk("RESET\r", 0), "");
  EXPECT_TRUE(unit->Restarting());
  // Deaf and mute until the restart time is over, at any speed.
  driver->Receive(restartMs - 150, 9600);
  EXPECT_FALSE(Answers(9600));
  EXPECT_FALSE(Answers(115200));
  driver->Receive(100, 9600);
  EXPECT_FALSE(unit->Restarting());
  EXPECT_TRUE(Answers(9600));
  EXPECT_EQ(unit->Speed(), 9600);
  std::uint32_t value = 0;
  ASSERT_TRUE(configuration->Store().Value("BRIGHTNESS", value));
  EXPECT_EQ(value, 0x1234u);
  EXPECT_EQ(unit->Restarts(), 1);
}

INSTANTIATE_TEST_SUITE_P(RestartTimes, SimRestartTest, ::testing::Values(500, 1500, 20000));

class SimJournalTest : public SimLoadTest {};

TEST_F(SimJournalTest, ListsCommandsAndRestartsInOrderWithTheirTimes) {
  Start();
  std::vector<std::string> sunk;
  unit->Log().SetSink([&sunk](const std::string& entry) { sunk.push_back(entry); });
  Talk("QP\r", 300);
  Talk("BAD\x01\\\r");
  Talk("RESET\r", 2000);
  const auto& entries = unit->Log().Entries();
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].event, "command");
  EXPECT_EQ(entries[0].detail, "QP");
  EXPECT_EQ(entries[1].detail, "BAD\\x01\\x5C");
  EXPECT_EQ(entries[2].detail, "RESET");
  EXPECT_EQ(entries[3].event, "restart");
  EXPECT_EQ(entries[3].detail, "1500 ms");
  EXPECT_EQ(entries[4].event, "ready");
  EXPECT_EQ(entries[4].atUs - entries[3].atUs, 1'500'000);
  ASSERT_EQ(sunk.size(), 5u);
  EXPECT_EQ(sunk[4], sim::Journal::Line(entries[4]));
  EXPECT_EQ(sim::Journal::Line({1'234'567, "restart", "1500 ms"}), "1.234567 restart 1500 ms");
}

TEST_F(SimJournalTest, AnswerUnderWayIsCutByARestart) {
  Start();
  // A test cycles the power in the middle of the identification reply.
  driver->Send("QP\r", 9600);
  std::string before = driver->Receive(100, 9600);
  unit->Restart();
  std::string after = driver->Receive(3000, 9600);
  EXPECT_LT(before.size() + after.size(), 520u);
  EXPECT_LE(after.size(), 1u);  // at most the character already on the line
}

}  // namespace
}  // namespace rv4410::test
