#include "config/parameter_line.h"

#include "platform/format.h"

namespace rv4410 {

namespace {

bool IsLineCharacter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' ||
         c == '-';
}

}  // namespace

int HexDigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

LineCheck CheckParameterLine(std::string_view text) {
  const std::size_t length = text.size();
  for (std::size_t p = 0; p < length; ++p) {
    const auto c = static_cast<unsigned char>(text[p]);
    const std::size_t distance = length - p;  // 1 for the last character
    if (!IsLineCharacter(c)) return {LineFault::kInvalidCharacter, p};
    bool fits = true;
    if (distance == kValueFieldLength) {
      fits = c == '0';
    } else if (distance == kValueFieldLength - 1) {
      fits = c == 'x';  // a capital X is no value field
    } else if (distance < kValueFieldLength - 1) {
      fits = HexDigitValue(c) >= 0;
    }
    if (!fits) return {LineFault::kBadValueField, p};
  }
  return {};
}

std::int32_t ParseParameterValue(std::string_view line) {
  std::string_view field =
      line.size() > kValueFieldLength ? line.substr(line.size() - kValueFieldLength) : line;
  if (field.size() >= 2 && field[0] == '0' && (field[1] == 'x' || field[1] == 'X')) {
    field.remove_prefix(2);
  }
  // Accumulated modulo 2^32, then read as two's complement.
  std::uint32_t value = 0;
  for (char c : field) {
    int digit = HexDigitValue(static_cast<unsigned char>(c));
    if (digit < 0) break;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return static_cast<std::int32_t>(value);
}

char LineCheckCharacter(std::string_view text) {
  std::uint32_t sum = 0;
  for (char c : text) sum += static_cast<unsigned char>(c);
  return kCheckAlphabet[sum % kCheckAlphabet.size()];
}

std::string LimitReplacementLine(const ParameterEntry& entry) {
  const std::string name(entry.Name());
  return FormatText(kReplacementLineFormat, name.c_str(), static_cast<unsigned>(entry.minimum));
}

}  // namespace rv4410
