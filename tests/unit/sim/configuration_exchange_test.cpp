#include "sim/configuration_exchange.h"

#include <gtest/gtest.h>

#include <string>

namespace rv4410::sim {
namespace {

// Talks to the unit directly, byte by byte at its own speed.
class ConfigurationExchangeTest : public ::testing::Test {
 protected:
  ConfigurationExchangeTest() : exchange(unit.Make<ConfigurationExchange>()) {}

  std::string Say(const std::string& text) {
    for (char c : text) {
      nowUs += CharacterUs(unit.Speed());
      unit.ReceiveByte(static_cast<std::uint8_t>(c), unit.Speed(), nowUs);
    }
    nowUs += 3'000'000;
    unit.AdvanceTo(nowUs);
    std::string out;
    std::uint8_t byte = 0;
    while (unit.TakeOutput(nowUs, unit.Speed(), byte)) out.push_back(static_cast<char>(byte));
    return out;
  }

  UnitModel unit;
  ConfigurationExchange& exchange;
  std::int64_t nowUs = 0;
};

TEST_F(ConfigurationExchangeTest, CheckedReadPutsSeparatorAndCheckCharacterBeforeTheValue) {
  exchange.Store().Replace({{"HDG            ", 0x10E}, {"CRS            ", 0x5B}});
  const std::string hdg = "HDG             0x0000010E";
  EXPECT_EQ(Say("RX\r\n"),
            "OK\r\nHDG              " + std::string(1, UnitCheckCharacter(hdg)) + "0x0000010E\r\n");
  // The next line waits for the verdict and the loader's copy.
  EXPECT_EQ(Say("OK line recvd\r\n"), "");
  std::string next = Say(hdg + " " + UnitCheckCharacter(hdg) + "\r\n");
  EXPECT_EQ(next.substr(0, 4), "OK\r\n");
  EXPECT_EQ(next.substr(4, 3), "CRS");
  EXPECT_EQ(Say("OK line recvd\r\nCRS copy\r\n"), "OK\r\n\r\n");
}

TEST_F(ConfigurationExchangeTest, PlainReadSendsTheWholeListAndAnEmptyLine) {
  exchange.Store().Replace({{"HDG            ", 0x10E}, {"Map1 Cat Select ", 1}});
  EXPECT_EQ(Say("RP\r\n"), "HDG             0x0000010E\r\nMap1 Cat Select  0x00000001\r\n\r\n");
}

TEST_F(ConfigurationExchangeTest, CheckedWriteAnswersByCheckCharacterAndTheListWithOk) {
  const std::string line = "HDG             0x00000001";
  EXPECT_EQ(Say("WX\r\n"), "OK\r\n");
  EXPECT_EQ(Say(line + " " + UnitCheckCharacter(line) + "\r\n"), "OK\r\n");
  EXPECT_EQ(Say(line + " !\r\n"), "ERROR check\r\n");
  EXPECT_EQ(Say("\r\n"), "OK\r\n");
  std::uint32_t value = 0;
  ASSERT_TRUE(exchange.Store().Value("HDG", value));
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(exchange.WrittenLines(), std::vector<std::string>{line});
}

TEST_F(ConfigurationExchangeTest, WithoutTheCheckedExchangeOffersGoUnanswered) {
  exchange.Knobs().checkedExchange = false;
  EXPECT_EQ(Say("RX\r\n"), "");
  EXPECT_EQ(Say("WX\r\n"), "");
  EXPECT_EQ(Say("WP\r\nCRS             0x00000002\r\n"), "");
  EXPECT_EQ(Say("\r\n"), "OK\r\n");
  std::uint32_t value = 0;
  ASSERT_TRUE(exchange.Store().Value("CRS", value));
  EXPECT_EQ(value, 2u);
}

}  // namespace
}  // namespace rv4410::sim
