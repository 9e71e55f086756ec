#include "sim/save_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace rv4410::sim {

bool SaveFile(const std::string& path, std::string_view bytes) {
  std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  // Replaces a file already there on every platform (std::rename does not on Windows).
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) std::remove(temporary.c_str());
  return !error;
}

}  // namespace rv4410::sim
