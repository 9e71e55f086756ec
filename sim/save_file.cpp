#include "sim/save_file.h"

#include <cstdio>
#include <fstream>

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
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace rv4410::sim
