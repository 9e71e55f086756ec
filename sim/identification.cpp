#include "sim/identification.h"

#include "sim/frame_decoder.h"

namespace rv4410::sim {

namespace {

void PutBigEndian32(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value >> 24);
  at[1] = static_cast<std::uint8_t>(value >> 16);
  at[2] = static_cast<std::uint8_t>(value >> 8);
  at[3] = static_cast<std::uint8_t>(value);
}

char HexDigit(int value, bool lowerCase) {
  const char* digits = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
  return digits[value & 0xF];
}

// A wrong digit in place of `digit`.
char OtherDigit(char digit) {
  return digit == '0' ? '1' : '0';
}

}  // namespace

std::array<std::uint8_t, kRecordWithCheckBytes> IdentificationRecord(
    const IdentificationKnobs& knobs) {
  std::array<std::uint8_t, kRecordWithCheckBytes> record{};
  // Bytes the loader does not interpret: a pattern that uses every digit.
  for (std::size_t i = 0; i < kRecordBytes; ++i) {
    record[i] = static_cast<std::uint8_t>(i * 37 + 11);
  }
  PutBigEndian32(&record[12], knobs.mapAreaStart);
  PutBigEndian32(&record[28], knobs.mapBase);
  PutBigEndian32(&record[40], knobs.mapAreaEnd);
  PutBigEndian32(&record[224], knobs.featureFlags);
  PutBigEndian32(&record[kRecordBytes], FrameCrc(record.data(), kRecordBytes));
  return record;
}

std::string IdentificationReply(const IdentificationKnobs& knobs) {
  std::array<std::uint8_t, kRecordWithCheckBytes> record = IdentificationRecord(knobs);
  std::string digits;
  for (std::uint8_t byte : record) {
    digits.push_back(HexDigit(byte >> 4, knobs.lowerCase));
    digits.push_back(HexDigit(byte, knobs.lowerCase));
  }
  if (knobs.damagedCheck) {
    char& last = digits.back();
    last = OtherDigit(last);
  }
  if (knobs.oddDigits) digits.pop_back();
  bool half = knobs.stopsHalfway;
  if (half) digits.resize(digits.size() / 2);

  std::string reply;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && knobs.digitsPerLine > 0 && i % static_cast<std::size_t>(knobs.digitsPerLine) == 0)
      reply += knobs.lineEnd;
    reply.push_back(digits[i]);
    if (knobs.spaceBetweenBytes && i % 2 == 1) reply.push_back(' ');
  }
  if (!half) reply += "\r\r";
  return reply;
}

bool IdentificationFeature::OnCommand(UnitModel& unit, std::string_view line) {
  if (line != "QP") return false;
  ++queries_;
  if (!knobs_.absent) unit.Send(IdentificationReply(knobs_));
  return true;
}

}  // namespace rv4410::sim
