#include "sim/unit_model.h"

#include <gtest/gtest.h>

namespace rv4410::sim {
namespace {

// Feeds `text` to the unit at `baud`, one character time apart from `startUs`.
std::int64_t Feed(UnitModel& unit, std::string_view text, int baud, std::int64_t startUs) {
  std::int64_t at = startUs;
  for (char c : text) {
    at += CharacterUs(baud);
    unit.ReceiveByte(static_cast<std::uint8_t>(c), baud, at);
  }
  return at;
}

std::string Drain(UnitModel& unit, int receiverBaud) {
  std::string out;
  std::uint8_t byte = 0;
  while (unit.TakeOutput(kNeverUs - 1, receiverBaud, byte)) out.push_back(static_cast<char>(byte));
  return out;
}

const std::string kFiveCans(5, '\x18');

TEST(UnitModelTest, FiveCancelCharactersGetOkAtTheUnitsSpeed) {
  UnitModel unit({.speed = 1200});
  std::int64_t end = Feed(unit, kFiveCans, 1200, 0);
  std::int64_t first = unit.NextEventUs();
  EXPECT_EQ(Drain(unit, 1200), "OK\r\n");
  // Four characters at 1200 baud after the think time.
  EXPECT_EQ(unit.OutputDoneUs(), end + unit.Knobs().replyDelayUs + 4 * CharacterUs(1200));
  EXPECT_EQ(first, end + unit.Knobs().replyDelayUs + CharacterUs(1200));
}

TEST(UnitModelTest, CancelCharactersAtAnotherSpeedArriveGarbledAndGetNoAnswer) {
  UnitModel unit({.speed = 1200});
  Feed(unit, kFiveCans, 9600, 0);
  EXPECT_EQ(Drain(unit, 1200), "");
  EXPECT_EQ(unit.GarbledBytes(), 5u);
  EXPECT_EQ(unit.Attentions(), 0);
}

TEST(UnitModelTest, ReplyReadAtAnotherSpeedIsGarbledIntoHighBytes) {
  UnitModel unit;
  Feed(unit, kFiveCans, 9600, 0);
  std::string seen = Drain(unit, 19200);
  ASSERT_EQ(seen.size(), 4u);
  for (char c : seen) EXPECT_GE(static_cast<unsigned char>(c), 0x80);
}

TEST(UnitModelTest, SilentUnitNeverSends) {
  UnitModel unit({.silent = true});
  Feed(unit, kFiveCans, 9600, 0);
  EXPECT_EQ(unit.NextEventUs(), kNeverUs);
  EXPECT_EQ(unit.Attentions(), 1);
}

TEST(UnitModelTest, CommandLinesEndAtCrOrLfAndOverlongLinesAreDropped) {
  UnitModel unit;
  std::int64_t at = Feed(unit, "QP\rRX\r\n\nBR 9600\r", 9600, 0);
  at = Feed(unit, std::string(600, 'z') + "\r", 9600, at);
  Feed(unit, "P\r", 9600, at);
  EXPECT_EQ(unit.Commands(), (std::vector<std::string>{"QP", "RX", "BR 9600", "P"}));
}

TEST(UnitModelTest, CancelCharacterClearsAPartialCommand) {
  UnitModel unit;
  std::int64_t at = Feed(unit, "BR 96", 9600, 0);
  at = Feed(unit, "\x18", 9600, at);
  Feed(unit, "QP\r", 9600, at);
  EXPECT_EQ(unit.Commands(), std::vector<std::string>{"QP"});
}

class CountingCapture : public UnitFeature {
 public:
  bool OnCommandByte(UnitModel& unit, std::uint8_t byte) override {
    if (byte != 0x10) return false;
    unit.Capture(this);
    return true;
  }
  void OnCapturedByte(UnitModel&, std::uint8_t) override { ++captured; }
  void OnCaptureIdle(UnitModel&) override { ++idle; }
  int captured = 0;
  int idle = 0;
};

TEST(UnitModelTest, CaptureTakesBytesUntilTheSenderFallsSilent) {
  UnitModel unit;
  CountingCapture& capture = unit.Make<CountingCapture>();
  std::int64_t at = Feed(unit,
                         "\x10"
                         "abc",
                         9600, 0);
  EXPECT_EQ(capture.captured, 3);
  EXPECT_TRUE(unit.Captured());
  EXPECT_EQ(unit.NextEventUs(), at + capture.CaptureIdleUs());
  unit.AdvanceTo(at + capture.CaptureIdleUs());
  EXPECT_FALSE(unit.Captured());
  EXPECT_EQ(capture.idle, 1);
  Feed(unit, "QP\r", 9600, at + 300'000);
  EXPECT_EQ(unit.Commands(), std::vector<std::string>{"QP"});
}

TEST(UnitModelTest, BreakEndsACaptureAndIsCounted) {
  UnitModel unit;
  CountingCapture& capture = unit.Make<CountingCapture>();
  Feed(unit,
       "\x10"
       "a",
       9600, 0);
  unit.ReceiveBreak(10'000, 110'000);
  EXPECT_FALSE(unit.Captured());
  EXPECT_EQ(unit.Breaks(), 1);
  EXPECT_EQ(capture.idle, 0);
}

TEST(UnitModelTest, TimersRunInTimeOrder) {
  UnitModel unit;
  std::string order;
  unit.At(300, [&order] { order += "c"; });
  unit.At(100, [&order] { order += "a"; });
  unit.At(200, [&order] { order += "b"; });
  EXPECT_EQ(unit.NextEventUs(), 100);
  unit.AdvanceTo(250);
  EXPECT_EQ(order, "ab");
  unit.AdvanceTo(1000);
  EXPECT_EQ(order, "abc");
  EXPECT_EQ(unit.NowUs(), 1000);
}

}  // namespace
}  // namespace rv4410::sim
