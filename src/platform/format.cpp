#include "platform/format.h"

#include <array>
#include <cstdio>

namespace rv4410 {

std::string FormatTextV(const char* format, std::va_list args) {
  std::array<char, kFormatBufferSize> buffer{};
  int written = std::vsnprintf(buffer.data(), buffer.size(), format, args);
  if (written < 0) return {};
  std::size_t length = static_cast<std::size_t>(written);
  if (length >= buffer.size()) length = buffer.size() - 1;
  return std::string(buffer.data(), length);
}

std::string FormatText(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  return text;
}

}  // namespace rv4410
