#pragma once
// The 256-byte control block that goes to the unit ahead of program or map
// data, and the byte-order helpers of the data files. Control-block fields are
// 32-bit big-endian words; the map header's numbers are little-endian.

#include <array>
#include <cstddef>
#include <cstdint>

namespace rv4410 {

// The block's size in a program or map file: the block the transfer set-up
// sends (the uploads, which hand it over, check that the two agree).
inline constexpr std::size_t kControlBlockBytes = 256;

inline std::uint32_t LoadBigEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

inline void StoreBigEndian32(std::uint8_t* bytes, std::uint32_t value) {
  bytes[0] = static_cast<std::uint8_t>(value >> 24);
  bytes[1] = static_cast<std::uint8_t>(value >> 16);
  bytes[2] = static_cast<std::uint8_t>(value >> 8);
  bytes[3] = static_cast<std::uint8_t>(value);
}

inline std::uint32_t LoadLittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[3]) << 24 | static_cast<std::uint32_t>(bytes[2]) << 16 |
         static_cast<std::uint32_t>(bytes[1]) << 8 | bytes[0];
}

struct ControlBlock {
  std::array<std::uint8_t, kControlBlockBytes> bytes{};

  // The big-endian word at `offset` (0..252).
  std::uint32_t Word(std::size_t offset) const {
    return LoadBigEndian32(&bytes.at(offset + 3) - 3);
  }
  void SetWord(std::size_t offset, std::uint32_t value) {
    StoreBigEndian32(&bytes.at(offset + 3) - 3, value);
  }
  const std::uint8_t* data() const { return bytes.data(); }
  std::uint8_t* data() { return bytes.data(); }
};

// A control-block word that holds neither 0 nor 0xFFFFFFFF (erased flash) is present.
inline bool FieldPresent(std::uint32_t word) {
  return word != 0 && word != 0xFFFFFFFFu;
}

}  // namespace rv4410
