// The parameter line rules on arbitrary bytes: no crash, no read outside the
// line, and a line that passes the form check has the value its digits say.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/parameter_line.h"
#include "config/parameter_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view line(reinterpret_cast<const char*>(data), size);
  rv4410::LineCheck check = rv4410::CheckParameterLine(line);
  if (!check.Passed() && check.position >= size) std::abort();
  char c = rv4410::LineCheckCharacter(line);
  if (rv4410::kCheckAlphabet.find(c) == std::string_view::npos) std::abort();
  const rv4410::ParameterEntry* entry = rv4410::FindParameter(line);
  if (entry != nullptr && !line.starts_with(entry->Name())) std::abort();
  if (check.Passed() && size >= rv4410::kValueFieldLength) {
    std::string digits(line.substr(size - 8));
    auto expected = static_cast<std::uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
    if (static_cast<std::uint32_t>(rv4410::ParseParameterValue(line)) != expected) std::abort();
  }
  return 0;
}
