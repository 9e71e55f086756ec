// The map control block placed for the unit's map base: the seven address
// fields and the block's check, or nothing at all.

#include <gtest/gtest.h>

#include "checksum/crc32.h"
#include "uploads/map_upload.h"

namespace rv4410::test {
namespace {

ControlBlock BlockWithFields(std::uint32_t first) {
  ControlBlock block;
  for (std::size_t i = 0; i < block.bytes.size(); ++i) {
    block.bytes[i] = static_cast<std::uint8_t>(i * 13 + 1);
  }
  for (std::size_t field = 0; field < 7; ++field) {
    block.SetWord(field * 8, first + static_cast<std::uint32_t>(field) * 0x1000);
  }
  return block;
}

std::uint32_t CheckOf(const ControlBlock& block) {
  std::uint32_t crc = 0;
  Crc32Init(crc);
  Crc32UpdateBytes(crc, block.data(), 252);
  return crc;
}

TEST(MapRelocation, FieldsBelowTheBaseGrowByTheBaseAndTheCheckIsRenewed) {
  ControlBlock block = BlockWithFields(0);
  const ControlBlock original = block;
  RelocateMapControlBlock(block, 0x20000);
  for (std::size_t field = 0; field < 7; ++field) {
    EXPECT_EQ(block.Word(field * 8), original.Word(field * 8) + 0x20100u) << field;
    // The words between the address fields are untouched.
    EXPECT_EQ(block.Word(field * 8 + 4), original.Word(field * 8 + 4)) << field;
  }
  EXPECT_EQ(block.Word(252), CheckOf(block));
  for (std::size_t i = 56; i < 252; ++i) EXPECT_EQ(block.bytes[i], original.bytes[i]) << i;
}

TEST(MapRelocation, APlacedBlockIsLeftAsItIsOnASecondUpload) {
  ControlBlock block = BlockWithFields(0);
  RelocateMapControlBlock(block, 0x20000);
  const ControlBlock placed = block;
  RelocateMapControlBlock(block, 0x20000);
  EXPECT_EQ(block.bytes, placed.bytes);
}

TEST(MapRelocation, AFirstFieldAtTheBaseLeavesEveryByteEvenWithOthersBelow) {
  ControlBlock block = BlockWithFields(0x20100);
  block.SetWord(8, 5);
  block.SetWord(252, 0xDEADBEEF);
  const ControlBlock original = block;
  RelocateMapControlBlock(block, 0x20000);
  EXPECT_EQ(block.bytes, original.bytes);
}

TEST(MapRelocation, TheAdditionWrapsAsUnsignedThirtyTwoBits) {
  ControlBlock block = BlockWithFields(0);
  block.SetWord(48, 0xFFFFFF00u);
  RelocateMapControlBlock(block, 0x20000);
  EXPECT_EQ(block.Word(48), 0xFFFFFF00u + 0x20100u);
  EXPECT_EQ(block.Word(48), 0x00020000u);
}

}  // namespace
}  // namespace rv4410::test
