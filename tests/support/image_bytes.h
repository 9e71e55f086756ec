#pragma once
// A loaded image as every consumer sees it: its held bytes and its padding.

#include <cstdint>
#include <vector>

#include "datafiles/loaded_image.h"

namespace rv4410::test {

inline std::vector<std::uint8_t> ImageBytes(const LoadedImage& image) {
  std::vector<std::uint8_t> bytes(image.Size());
  if (!bytes.empty()) image.Copy(0, bytes.size(), bytes.data());
  return bytes;
}

}  // namespace rv4410::test
