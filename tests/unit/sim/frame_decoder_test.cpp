#include "sim/frame_decoder.h"

#include <gtest/gtest.h>

#include "support/image_builders.h"

namespace rv4410::sim {
namespace {

using test::Bytes;

// Feeds a whole frame (with its leading DLE); true when the decoder finished on its last byte.
bool Decode(FrameDecoder& decoder, const Bytes& frame) {
  decoder.Start();
  bool done = false;
  for (std::size_t i = 1; i < frame.size(); ++i) {
    EXPECT_FALSE(done) << "finished early at byte " << i;
    done = decoder.Feed(frame[i]);
  }
  return done;
}

const Bytes kWorkedExample = {0x10, 0x44, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00, 0x08, 0x99,
                              0x0B, 0x46, 0x61, 0x62, 0x63, 0xCA, 0xDB, 0xBE, 0x3D};

TEST(FrameDecoderTest, DecodesTheWorkedExample) {
  FrameDecoder decoder;
  ASSERT_TRUE(Decode(decoder, kWorkedExample));
  const DecodedFrame& frame = decoder.Frame();
  EXPECT_EQ(frame.type, 0x44);
  EXPECT_EQ(frame.length, 3);
  EXPECT_EQ(frame.address, 0x100u);
  EXPECT_EQ(frame.data, (Bytes{'a', 'b', 'c'}));
  EXPECT_TRUE(frame.headerCheckOk);
  EXPECT_TRUE(frame.dataCheckOk);
  EXPECT_EQ(decoder.Current(), FrameDecoder::State::kDone);
}

TEST(FrameDecoderTest, ADamagedByteFailsTheCheckThatCoversIt) {
  FrameDecoder decoder;
  Bytes header = kWorkedExample;
  header[6] ^= 0x01;  // address
  ASSERT_TRUE(Decode(decoder, header));
  EXPECT_FALSE(decoder.Frame().headerCheckOk);
  EXPECT_TRUE(decoder.Frame().dataCheckOk);

  Bytes data = kWorkedExample;
  data[13] ^= 0x80;
  ASSERT_TRUE(Decode(decoder, data));
  EXPECT_TRUE(decoder.Frame().headerCheckOk);
  EXPECT_FALSE(decoder.Frame().dataCheckOk);
}

// The header check covers the frame start and type; the data check does not.
TEST(FrameDecoderTest, TypeIsCoveredByTheHeaderCheckOnly) {
  FrameDecoder decoder;
  Bytes frame = kWorkedExample;
  frame[1] = 0x43;
  ASSERT_TRUE(Decode(decoder, frame));
  EXPECT_FALSE(decoder.Frame().headerCheckOk);
  EXPECT_TRUE(decoder.Frame().dataCheckOk);
}

TEST(FrameDecoderTest, DoubledDlesCountOnceAndALoneDleSpoilsTheData) {
  Bytes data = {0x10, 0x01, 0x10};
  std::uint32_t crc = FrameCrc(data.data(), data.size());
  Bytes frame = {0x10, 0x44, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00};
  std::uint32_t headerCrc = FrameCrc(frame.data(), frame.size());
  for (int shift = 24; shift >= 0; shift -= 8)
    frame.push_back(static_cast<std::uint8_t>(headerCrc >> shift));
  Bytes good = frame;
  good.insert(good.end(), {0x10, 0x10, 0x01, 0x10, 0x10});
  for (int shift = 24; shift >= 0; shift -= 8)
    good.push_back(static_cast<std::uint8_t>(crc >> shift));

  FrameDecoder decoder;
  ASSERT_TRUE(Decode(decoder, good));
  EXPECT_EQ(decoder.Frame().data, data);
  EXPECT_TRUE(decoder.Frame().headerCheckOk && decoder.Frame().dataCheckOk);

  Bytes lone = frame;
  lone.insert(lone.end(), {0x10, 0x01, 0x10, 0x10, 0x02});  // first DLE not doubled
  for (int shift = 24; shift >= 0; shift -= 8)
    lone.push_back(static_cast<std::uint8_t>(crc >> shift));
  ASSERT_TRUE(Decode(decoder, lone));
  EXPECT_FALSE(decoder.Frame().dataCheckOk);
}

TEST(FrameDecoderTest, EmptyFrameEndsWithItsDataCheck) {
  Bytes frame = {0x10, 0x43, 0, 0, 0, 0, 0, 0};
  std::uint32_t headerCrc = FrameCrc(frame.data(), frame.size());
  for (int shift = 24; shift >= 0; shift -= 8)
    frame.push_back(static_cast<std::uint8_t>(headerCrc >> shift));
  frame.insert(frame.end(), {0xFF, 0xFF, 0xFF, 0xFF});
  FrameDecoder decoder;
  ASSERT_TRUE(Decode(decoder, frame));
  EXPECT_TRUE(decoder.Frame().data.empty());
  EXPECT_TRUE(decoder.Frame().headerCheckOk && decoder.Frame().dataCheckOk);
}

TEST(FrameDecoderTest, IgnoresBytesAfterTheFrameUntilRestarted) {
  FrameDecoder decoder;
  ASSERT_TRUE(Decode(decoder, kWorkedExample));
  EXPECT_FALSE(decoder.Feed(0x44));
  EXPECT_EQ(decoder.Frame().data, (Bytes{'a', 'b', 'c'}));
}

}  // namespace
}  // namespace rv4410::sim
