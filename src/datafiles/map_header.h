#pragma once
// The 64-byte header of a map database file; its numbers are 32-bit little-endian.

#include <array>
#include <cstddef>
#include <cstdint>

#include "datafiles/control_block.h"

namespace rv4410 {

inline constexpr std::size_t kMapHeaderSize = 64;

struct MapHeader {
  static constexpr std::size_t kExpirationDate = 0;
  static constexpr std::size_t kFormatNumber = 12;
  static constexpr std::size_t kFeatureMask = 16;
  static constexpr std::size_t kDataLength = 24;
  static constexpr std::size_t kTotalLength = 28;
  static constexpr std::size_t kEffectiveDate = 32;

  std::array<std::uint8_t, kMapHeaderSize> bytes{};

  std::uint32_t Word(std::size_t offset) const {
    return LoadLittleEndian32(&bytes.at(offset + 3) - 3);
  }

  std::int32_t ExpirationDate() const { return static_cast<std::int32_t>(Word(kExpirationDate)); }
  std::uint32_t FormatNumber() const { return Word(kFormatNumber); }
  // The features the unit must offer (ANDed with its capability word).
  std::uint32_t FeatureMask() const { return Word(kFeatureMask); }
  // L, the map data length in bytes.
  std::uint32_t DataLength() const { return Word(kDataLength); }
  // T, the whole file's length, its CRC included.
  std::uint32_t TotalLength() const { return Word(kTotalLength); }
  std::int32_t EffectiveDate() const { return static_cast<std::int32_t>(Word(kEffectiveDate)); }
};

}  // namespace rv4410
