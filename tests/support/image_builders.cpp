#include "support/image_builders.h"

#include "sim/frame_decoder.h"

namespace rv4410::test {

std::uint32_t ReferenceCrc(const std::uint8_t* bytes, std::size_t count) {
  return sim::FrameCrc(bytes, count);
}

std::string AsString(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::time_t LocalNoon(int year, int dayOfYear) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mday = dayOfYear;  // mktime carries it into the right month
  local.tm_hour = 12;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

}  // namespace rv4410::test
