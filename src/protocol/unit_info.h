#pragma once
// The unit's identification record as the waiting page decodes it: 256 record
// bytes followed by their 4-byte check. Numbers in it are big-endian.

#include <array>
#include <cstddef>
#include <cstdint>

namespace rv4410 {

inline constexpr std::size_t kUnitRecordSize = 256;
inline constexpr std::size_t kUnitInfoSize = kUnitRecordSize + 4;

// The value of four bytes, the first being the most significant.
inline std::uint32_t ReadBigEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

struct UnitInfo {
  static constexpr std::size_t kMapAreaStartOffset = 12;
  static constexpr std::size_t kMapBaseOffset = 28;
  static constexpr std::size_t kMapAreaEndOffset = 40;
  static constexpr std::size_t kFeatureFlagsOffset = 224;
  static constexpr std::size_t kCheckOffset = kUnitRecordSize;

  // Start of the unit's memory for map data.
  std::uint32_t MapAreaStart() const { return ReadBigEndian32(&bytes[kMapAreaStartOffset]); }
  // Base for the map control block's addresses.
  std::uint32_t MapBase() const { return ReadBigEndian32(&bytes[kMapBaseOffset]); }
  // End of the unit's memory for map data; the space is end minus start.
  std::uint32_t MapAreaEnd() const { return ReadBigEndian32(&bytes[kMapAreaEndOffset]); }
  // Capability bits; a map needs at least one of its feature mask's bits here.
  std::uint32_t FeatureFlags() const { return ReadBigEndian32(&bytes[kFeatureFlagsOffset]); }
  // The record's own check over bytes 0..255.
  std::uint32_t Check() const { return ReadBigEndian32(&bytes[kCheckOffset]); }

  std::array<std::uint8_t, kUnitInfoSize> bytes{};
};

}  // namespace rv4410
