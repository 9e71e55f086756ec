#pragma once
// The built-in table of the unit's configuration parameters: each name padded
// to its fixed key width, with the value limits the loader enforces before it
// sends a line to the unit.

#include <array>
#include <cstdint>
#include <string_view>

namespace rv4410 {

inline constexpr std::size_t kParameterNameField = 16;
// Names are padded with spaces to this width; the longest fill the whole field.
inline constexpr std::size_t kPaddedNameLength = 15;
inline constexpr std::size_t kParameterCount = 138;

struct ParameterEntry {
  // Padded to 15 characters and ended by a zero byte, or exactly 16
  // characters without a terminator. The padded name is the key.
  char name[kParameterNameField];
  std::int32_t minimum;
  std::int32_t maximum;

  // The padded name, trailing spaces included: 15 or 16 characters.
  constexpr std::string_view Name() const {
    return {name, name[kParameterNameField - 1] == '\0' ? kPaddedNameLength : kParameterNameField};
  }
  // Minimum and maximum both 0 mean that the value is never checked.
  constexpr bool HasLimits() const { return minimum != 0 || maximum != 0; }
  constexpr bool Accepts(std::int32_t value) const {
    return !HasLimits() || (value >= minimum && value <= maximum);
  }
};

using ParameterTableType = std::array<ParameterEntry, kParameterCount>;
extern const ParameterTableType ParameterTable;

// The first entry in table order whose whole padded name (15 or 16
// characters, case-sensitive) begins `line`; nullptr when none does.
const ParameterEntry* FindParameter(std::string_view line);

}  // namespace rv4410
