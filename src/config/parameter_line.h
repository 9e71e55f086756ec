#pragma once
// One parameter line: a padded name, one space and a value field of "0x" and
// eight hexadecimal digits. The same form is used in the configuration file
// and on the serial line; the checked exchanges add a check character.

#include <cstdint>
#include <string>
#include <string_view>

#include "config/parameter_table.h"

namespace rv4410 {

// "0x" and eight hexadecimal digits: the last characters of every line.
inline constexpr std::size_t kValueFieldLength = 10;
// The alphabet of check characters, indexed by the character sum modulo 36.
inline constexpr std::string_view kCheckAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
// A line the loader makes itself when a value is out of range.
inline constexpr const char* kReplacementLineFormat = "%s 0x%8.8X";

enum class LineFault { kNone, kInvalidCharacter, kBadValueField };

struct LineCheck {
  LineFault fault = LineFault::kNone;
  std::size_t position = 0;  // the first failing position, from 0

  bool Passed() const { return fault == LineFault::kNone; }
};

// Checks the form of `text` (a line without its line end), position by
// position: letters, digits, space and "-" only; the tenth character from the
// end "0", the ninth "x", the last eight hexadecimal digits. Stops at the
// first failure. An empty line passes; so does a short line that keeps the
// rules for the distances it has.
LineCheck CheckParameterLine(std::string_view text);

// The value of the line's last ten characters ("0x" and eight hexadecimal
// digits) as a 32-bit two's-complement number: eight F digits are -1. A line
// that breaks the form gives the value of the hexadecimal digits after its
// "0x" up to the first other character (0 when there are none).
std::int32_t ParseParameterValue(std::string_view line);

// The value of one hexadecimal digit (either case); -1 for any other character.
int HexDigitValue(unsigned char c);

// The check character of `text`: its character codes summed, modulo 36, as an
// index into "0-9A-Z". The empty text gives "0".
char LineCheckCharacter(std::string_view text);

// The line that replaces an out-of-range one: the entry's padded name, one
// space and its minimum as "0x%8.8X". The minimum whichever limit was crossed.
std::string LimitReplacementLine(const ParameterEntry& entry);

}  // namespace rv4410
