#include "datafiles/loaded_image.h"

#include <cstdint>

#include "platform/system_calls.h"

namespace rv4410 {

bool LoadedImage::Allocate(std::size_t size) {
  Release();
  if (size > allocationLimit) return false;
  // calloc hands out zeroed pages without touching them, so a large image
  // costs memory only where the file fills it. One byte at least, so that an
  // empty image still has a buffer.
  auto* buffer = static_cast<std::uint8_t*>(std::calloc(size == 0 ? 1 : size, 1));
  if (buffer == nullptr) return false;
  // A large image is filled front to back right after allocation.
  AdviseSequentialFill(buffer, size);
  buffer_.reset(buffer);
  size_ = size;
  return true;
}

void LoadedImage::Release() {
  buffer_.reset();
  size_ = 0;
  length = 0;
}

}  // namespace rv4410
