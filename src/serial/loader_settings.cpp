#include "serial/loader_settings.h"

namespace rv4410 {

std::string BoundedFileName(std::string name) {
  if (name.size() > kFileNameSize - 1) name.resize(kFileNameSize - 1);
  return name;
}

}  // namespace rv4410
