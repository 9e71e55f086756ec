#include "sim/babble.h"

#include <gtest/gtest.h>

#include "sim/sim_options.h"

namespace rv4410::sim {
namespace {

const std::string kFiveCans(5, '\x18');

// A unit with `babble`, after five cancel characters at 9600 baud.
struct BabblingUnit {
  explicit BabblingUnit(Babble babble, LineKnobs knobs = {}) : unit(knobs) {
    unit.Make<BabbleFeature>(babble);
    std::int64_t at = 0;
    for (char c : kFiveCans) unit.ReceiveByte(static_cast<std::uint8_t>(c), 9600, at += 1042);
  }
  // Everything the unit has sent by `untilUs`.
  std::string SentBy(std::int64_t untilUs) {
    unit.AdvanceTo(untilUs);
    std::string out;
    std::uint8_t byte = 0;
    while (unit.TakeOutput(untilUs, 9600, byte)) out.push_back(static_cast<char>(byte));
    return out;
  }
  UnitModel unit;
};

TEST(BabbleTest, EachKindFollowsTheOk) {
  struct Case {
    Babble babble;
    std::string expected;
  };
  const Case cases[] = {
      {Babble::kNulBytes, std::string("OK\r\n\0\0 \0\n\0READY\r\n", 17)},
      {Babble::kHighBytes, "OK\r\n\xFF\x80\xFF\r\n"},
      {Babble::kLongLine, "OK\r\n" + std::string(300, 'L') + "\r\n"},
  };
  for (const Case& c : cases) {
    BabblingUnit babbling(c.babble);
    EXPECT_EQ(babbling.SentBy(10'000'000), c.expected);
    EXPECT_EQ(babbling.unit.NextEventUs(), kNeverUs) << "the babble ends";
  }
}

TEST(BabbleTest, EndlessSpacesKeepTheLineBusyWithBoundedOutput) {
  BabblingUnit babbling(Babble::kEndlessSpaces);
  std::string first = babbling.SentBy(1'000'000);
  ASSERT_GE(first.size(), 4u);
  EXPECT_EQ(first.substr(0, 4), "OK\r\n");
  // At 9600 baud the line carries about 960 characters a second, all spaces.
  EXPECT_GT(first.size(), 900u);
  EXPECT_EQ(first.find_first_not_of(' ', 4), std::string::npos);
  std::string second = babbling.SentBy(2'000'000);
  EXPECT_GT(second.size(), 900u);
  EXPECT_LE(second.size(), 961u);
  // Only one batch waits ahead of the line at any time.
  EXPECT_LE(babbling.unit.OutputDoneUs() - 2'000'000, 65 * CharacterUs(9600));
}

TEST(BabbleTest, SilentUnitDoesNotBabble) {
  BabblingUnit babbling(Babble::kEndlessSpaces, {.silent = true});
  EXPECT_EQ(babbling.SentBy(1'000'000), "");
}

TEST(BabbleTest, OptionNamesTheKind) {
  const char* argv[] = {"rv4410-sim", "--babble", "spaces"};
  SimOptions options;
  std::string error;
  ASSERT_TRUE(ParseSimOptions(3, argv, options, error)) << error;
  EXPECT_EQ(options.babble, Babble::kEndlessSpaces);

  const char* bad[] = {"rv4410-sim", "--babble", "loud"};
  EXPECT_FALSE(ParseSimOptions(3, bad, options, error));
  EXPECT_NE(error.find("--babble"), std::string::npos);
}

}  // namespace
}  // namespace rv4410::sim
