#pragma once
// The unit's identification: "QP" answered with the 256-byte record and its
// 4-byte check as hexadecimal digits, ended by two carriage returns.

#include <array>
#include <cstdint>
#include <string>

#include "sim/unit_model.h"

namespace rv4410::sim {

inline constexpr std::size_t kRecordBytes = 256;
inline constexpr std::size_t kRecordWithCheckBytes = kRecordBytes + 4;

struct IdentificationKnobs {
  // The record's fields (big-endian at offsets 12, 40, 28 and 224).
  std::uint32_t mapAreaStart = 0x00200000;
  std::uint32_t mapAreaEnd = 0x00600000;
  std::uint32_t mapBase = 0x00200000;
  std::uint32_t featureFlags = 0x00000003;

  // How the digits are laid out.
  bool lowerCase = false;
  int digitsPerLine = 0;           // 0: all on one line
  std::string lineEnd = "\r\n";    // between lines
  bool spaceBetweenBytes = false;  // a space after every pair of digits

  // Faults.
  bool absent = false;        // "QP" gets no answer at all
  bool damagedCheck = false;  // one digit of the check is wrong
  bool oddDigits = false;     // the last digit is missing
  bool stopsHalfway = false;  // half the digits, then silence
};

// The record with its check, as the unit holds it.
std::array<std::uint8_t, kRecordWithCheckBytes> IdentificationRecord(
    const IdentificationKnobs& knobs);
// The whole reply text, terminators included (empty for a half reply's end).
std::string IdentificationReply(const IdentificationKnobs& knobs);

class IdentificationFeature : public UnitFeature {
 public:
  explicit IdentificationFeature(IdentificationKnobs knobs) : knobs_(std::move(knobs)) {}
  bool OnCommand(UnitModel& unit, std::string_view line) override;

  IdentificationKnobs& Knobs() { return knobs_; }
  int Queries() const { return queries_; }

 private:
  IdentificationKnobs knobs_;
  int queries_ = 0;
};

}  // namespace rv4410::sim
