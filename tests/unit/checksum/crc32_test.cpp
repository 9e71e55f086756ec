#include "checksum/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/frame_decoder.h"
#include "support/image_builders.h"

namespace rv4410 {
namespace {

std::uint32_t CrcOfText(const char* text) {
  std::uint32_t crc = 0;
  Crc32Init(crc);
  Crc32UpdateBytes(crc, reinterpret_cast<const std::uint8_t*>(text),
                   static_cast<long>(std::strlen(text)));
  return crc;
}

TEST(Crc32Test, CheckValuesHaveNoFinalInversion) {
  EXPECT_EQ(CrcOfText("123456789"), 0x340BC6D9u);
  EXPECT_EQ(CrcOfText("abc"), 0xCADBBE3Du);
  EXPECT_EQ(CrcOfText(""), 0xFFFFFFFFu);
}

TEST(Crc32Test, TableIsThePublishedReflectedTable) {
  EXPECT_EQ(Crc32TableEntry(0), 0u);
  EXPECT_EQ(Crc32TableEntry(1), 0x77073096u);
  EXPECT_EQ(Crc32TableEntry(128), 0xEDB88320u);
  EXPECT_EQ(Crc32TableEntry(255), 0x2D02EF8Du);
}

TEST(Crc32Test, ByteStepMatchesTheCheckValue) {
  std::uint32_t crc = 0;
  Crc32Init(crc);
  for (char c : std::string("123456789")) Crc32Update(crc, static_cast<std::uint8_t>(c));
  EXPECT_EQ(crc, 0x340BC6D9u);
}

TEST(Crc32Test, CountOfZeroOrLessLeavesTheRegister) {
  std::uint8_t byte = 0x55;
  std::uint32_t crc = 0x12345678u;
  Crc32UpdateBytes(crc, &byte, 0);
  Crc32UpdateBytes(crc, &byte, -5);
  EXPECT_EQ(crc, 0x12345678u);
}

// The eight-byte rounds against the bitwise reference, for every length and
// alignment around the round size and across a split into two calls.
TEST(Crc32Test, BlockUpdateAgreesWithTheBitwiseReferenceAtAnyLengthAndSplit) {
  test::Bytes bytes = test::PatternBytes(300, 3);
  for (std::size_t start = 0; start < 9; ++start) {
    for (std::size_t count = 0; count + start <= bytes.size(); count += 7) {
      std::uint32_t expected = sim::FrameCrc(bytes.data() + start, count);
      for (std::size_t split : {std::size_t{0}, count / 3, count}) {
        std::uint32_t crc = 0;
        Crc32Init(crc);
        Crc32UpdateBytes(crc, bytes.data() + start, static_cast<long>(split));
        Crc32UpdateBytes(crc, bytes.data() + start + split, static_cast<long>(count - split));
        ASSERT_EQ(crc, expected) << "start " << start << " count " << count << " split " << split;
      }
    }
  }
}

// A run of zeros taken in one step gives what the bytes one by one give,
// from any register, for runs around every power of two up to 1 MiB.
TEST(Crc32Test, ZeroRunsAgreeWithTheZeroBytesThemselves) {
  const test::Bytes zeros(1u << 20, 0);
  for (std::uint32_t start : {0xFFFFFFFFu, 0u, 0x12345678u}) {
    for (std::uint64_t power = 1; power <= zeros.size(); power *= 2) {
      for (std::uint64_t count : {power - 1, power, power + 1}) {
        if (count > zeros.size()) continue;
        std::uint32_t expected = start;
        Crc32UpdateBytes(expected, zeros.data(), static_cast<long>(count));
        std::uint32_t crc = start;
        Crc32UpdateZeros(crc, count);
        ASSERT_EQ(crc, expected) << "start " << start << " count " << count;
      }
    }
  }
}

}  // namespace
}  // namespace rv4410
