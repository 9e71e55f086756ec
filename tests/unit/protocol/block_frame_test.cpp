#include "protocol/block_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "sim/frame_decoder.h"
#include "support/image_builders.h"
#include "support/virtual_unit_fixture.h"

namespace rv4410 {
namespace {

using test::Bytes;

// Takes every frame the loader sends: the raw bytes from the frame start on,
// and what the unit's decoder made of them. Answers nothing.
class FrameCapture : public sim::UnitFeature {
 public:
  bool OnCommandByte(sim::UnitModel& unit, std::uint8_t byte) override {
    if (byte != 0x10) return false;
    raw.push_back({byte});
    decoder_.Start();
    unit.Capture(this);
    return true;
  }
  void OnCapturedByte(sim::UnitModel& unit, std::uint8_t byte) override {
    raw.back().push_back(byte);
    if (decoder_.Feed(byte)) {
      frames.push_back(decoder_.Frame());
      unit.Release();
    }
  }
  void OnCaptureIdle(sim::UnitModel& /*unit*/) override { ++incomplete; }

  std::vector<Bytes> raw;
  std::vector<sim::DecodedFrame> frames;
  int incomplete = 0;

 private:
  sim::FrameDecoder decoder_;
};

class BlockFrameTest : public test::VirtualUnitTest {
 protected:
  void StartAt(int baud) {
    run.settings.baudRate = baud;
    sim::LineKnobs knobs;
    knobs.speed = baud;
    capture = &StartUnit(knobs).Make<FrameCapture>();
    OpenPort();
  }
  // Sends and lets the line deliver the last bytes to the unit.
  int Send(std::uint8_t type, const Bytes& data, std::uint32_t address, int length = -1) {
    int result = SendBlock(run, type, data.data(),
                           length < 0 ? static_cast<int>(data.size()) : length, address);
    host.RunFor(1500);  // the port's queue may still hold a whole frame
    return result;
  }

  // Holds the program for `ms` (a modal box, say) at the given turn of the
  // message pump; SerialWriteByte pumps once before each byte it hands over.
  void StallAtPump(int pump, std::int64_t ms) {
    pumpsBeforeStall_ = pump;
    stallMs_ = ms;
    ScheduleStall();
  }

  FrameCapture* capture = nullptr;

 private:
  void ScheduleStall() {
    host.At(host.TickCount(), [this] {
      if (--pumpsBeforeStall_ > 0) {
        ScheduleStall();
      } else {
        host.RunFor(stallMs_);
      }
    });
  }

  int pumpsBeforeStall_ = 0;
  std::int64_t stallMs_ = 0;
};

TEST_F(BlockFrameTest, WorkedExampleGoesOutByteForByte) {
  StartAt(9600);
  ASSERT_EQ(Send(kDataBlockType, {'a', 'b', 'c'}, 0x100), kSendBlockOk);
  ASSERT_EQ(capture->raw.size(), 1u);
  Bytes expected = {0x10, 0x44, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00, 0x08, 0x99,
                    0x0B, 0x46, 0x61, 0x62, 0x63, 0xCA, 0xDB, 0xBE, 0x3D};
  EXPECT_EQ(capture->raw[0], expected);
  ASSERT_EQ(capture->frames.size(), 1u);
  EXPECT_TRUE(capture->frames[0].headerCheckOk);
  EXPECT_TRUE(capture->frames[0].dataCheckOk);
}

TEST_F(BlockFrameTest, EmptyBlockIsTheHeaderAndAnAllOnesDataCheck) {
  StartAt(9600);
  ASSERT_EQ(Send(kControlBlockType, {}, 0), kSendBlockOk);
  ASSERT_EQ(capture->raw.size(), 1u);
  const Bytes& raw = capture->raw[0];
  ASSERT_EQ(raw.size(), 16u);
  EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 8), (Bytes{0x10, 0x43, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(test::GetBig32(raw, 8), test::ReferenceCrc(raw.data(), 8));
  EXPECT_EQ(Bytes(raw.begin() + 12, raw.end()), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  ASSERT_EQ(capture->frames.size(), 1u);
  EXPECT_TRUE(capture->frames[0].headerCheckOk && capture->frames[0].dataCheckOk);
}

TEST_F(BlockFrameTest, AllDleDataIsDoubledAndCheckedUndoubled) {
  StartAt(115200);
  Bytes data(300, 0x10);
  ASSERT_EQ(Send(kDataBlockType, data, 0), kSendBlockOk);
  ASSERT_EQ(capture->raw.size(), 1u);
  const Bytes& raw = capture->raw[0];
  ASSERT_EQ(raw.size(), 12u + 600u + 4u);
  EXPECT_TRUE(std::all_of(raw.begin() + 12, raw.begin() + 612, [](auto b) { return b == 0x10; }));
  EXPECT_EQ(test::GetBig32(raw, 612), test::ReferenceCrc(data.data(), data.size()));
  ASSERT_EQ(capture->frames.size(), 1u);
  EXPECT_EQ(capture->frames[0].data, data);
  EXPECT_TRUE(capture->frames[0].dataCheckOk);
}

TEST_F(BlockFrameTest, DleInsideLengthAndAddressIsNotDoubled) {
  StartAt(115200);
  Bytes data = test::PatternBytes(0x0F10, 5);
  ASSERT_EQ(Send(kDataBlockType, data, 0x10101010u), kSendBlockOk);
  ASSERT_EQ(capture->raw.size(), 1u);
  const Bytes& raw = capture->raw[0];
  EXPECT_EQ(Bytes(raw.begin(), raw.begin() + 8),
            (Bytes{0x10, 0x44, 0x0F, 0x10, 0x10, 0x10, 0x10, 0x10}));
  ASSERT_EQ(capture->frames.size(), 1u);
  EXPECT_EQ(capture->frames[0].length, 0x0F10);
  EXPECT_EQ(capture->frames[0].address, 0x10101010u);
  EXPECT_EQ(capture->frames[0].data, data);
  EXPECT_TRUE(capture->frames[0].headerCheckOk && capture->frames[0].dataCheckOk);
}

TEST_F(BlockFrameTest, LengthLimitIs4096AndLongerSendsNothing) {
  StartAt(115200);
  Bytes data = test::PatternBytes(4097, 9);
  EXPECT_EQ(Send(kDataBlockType, data, 0), kSendBlockTooLong);
  EXPECT_TRUE(capture->raw.empty());
  EXPECT_EQ(Send(kDataBlockType, data, 0, 4096), kSendBlockOk);
  ASSERT_EQ(capture->frames.size(), 1u);
  EXPECT_EQ(capture->frames[0].length, 4096);
  EXPECT_EQ(capture->frames[0].data, Bytes(data.begin(), data.begin() + 4096));
  EXPECT_TRUE(capture->frames[0].dataCheckOk);
}

TEST_F(BlockFrameTest, NegativeLengthIsRefusedAndSendsNothing) {
  StartAt(115200);
  std::uint8_t data[2] = {1, 2};
  EXPECT_EQ(SendBlock(run, kDataBlockType, data, -2, 0), kSendBlockTooLong);
  host.RunFor(100);
  EXPECT_TRUE(capture->raw.empty());
}

TEST_F(BlockFrameTest, NoPortReturnsMinusOneAndSendsNothing) {
  StartAt(9600);
  SerialClose(run.link);
  EXPECT_EQ(Send(kDataBlockType, {1, 2, 3}, 0), kSendBlockNoPort);
  EXPECT_TRUE(capture->raw.empty());
  // A device that hung up counts as no port, though nobody closed the link.
  OpenPort();
  host.Device().Close();
  EXPECT_EQ(Send(kDataBlockType, {1, 2, 3}, 0), kSendBlockNoPort);
  EXPECT_FALSE(run.link.open);
}

// A user event that holds the program for seconds (a modal box, say) while
// the frame is being handed to the port.
TEST_F(BlockFrameTest, StallInTheHeaderMissesItsDeadlineAndLeavesTheFrameIncomplete) {
  StartAt(115200);
  StallAtPump(4, kHeaderSendMs + 1);  // before the second length byte
  Bytes data = test::PatternBytes(100, 2);
  EXPECT_EQ(SendBlock(run, kDataBlockType, data.data(), 100, 0), kSendBlockDeadline);
  host.RunFor(500);
  ASSERT_EQ(capture->raw.size(), 1u);
  EXPECT_EQ(capture->raw[0].size(), 4u);
  EXPECT_TRUE(capture->frames.empty());
}

TEST_F(BlockFrameTest, StallInTheDataMissesItsDeadline) {
  StartAt(115200);
  StallAtPump(12 + 100, kDataSendMs + 1);  // before data byte 100
  Bytes data = test::PatternBytes(4096, 4);
  EXPECT_EQ(SendBlock(run, kDataBlockType, data.data(), 4096, 0), kSendBlockDeadline);
  host.RunFor(500);
  ASSERT_EQ(capture->raw.size(), 1u);
  // The unit gave up on the frame during the stall; it never completed.
  EXPECT_GT(capture->raw[0].size(), 12u + 90u);
  EXPECT_EQ(capture->incomplete, 1);
  EXPECT_TRUE(capture->frames.empty());
}

TEST_F(BlockFrameTest, RandomFramesRoundTripThroughTheUnitsDecoder) {
  StartAt(115200);
  for (std::uint32_t seed = 1; seed <= 25; ++seed) {
    Bytes data = test::PatternBytes(seed * 163 % 4097, seed);
    // Plenty of DLEs, and one at each end now and then.
    for (std::size_t i = 0; i < data.size(); i += 1 + seed % 7) data[i] = 0x10;
    std::uint8_t type = seed % 2 == 0 ? kControlBlockType : kDataBlockType;
    std::uint32_t address = seed * 0x01010101u;
    ASSERT_EQ(Send(type, data, address), kSendBlockOk) << "seed " << seed;
    ASSERT_EQ(capture->frames.size(), seed);
    const sim::DecodedFrame& frame = capture->frames.back();
    EXPECT_EQ(frame.type, type);
    EXPECT_EQ(frame.length, data.size());
    EXPECT_EQ(frame.address, address);
    EXPECT_EQ(frame.data, data);
    EXPECT_TRUE(frame.headerCheckOk && frame.dataCheckOk) << "seed " << seed;
  }
  EXPECT_EQ(capture->incomplete, 0);
}

}  // namespace
}  // namespace rv4410
