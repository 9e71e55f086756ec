#pragma once
// What the simulated unit keeps on disk replaces the old file in one step:
// written beside it and renamed over it only when complete.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rv4410::sim {

// False (the old file untouched) on any failure.
bool SaveFile(const std::string& path, std::string_view bytes);
inline bool SaveFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  return SaveFile(path,
                  std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace rv4410::sim
