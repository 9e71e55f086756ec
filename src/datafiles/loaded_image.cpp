#include "datafiles/loaded_image.h"

#include <sys/mman.h>

#include <cstdint>

namespace rv4410 {

namespace {

constexpr std::size_t kLargePage = 2u << 20;

// A large image is filled front to back right after allocation; large pages
// spare it one page fault per 4 KiB. Only a hint: where the system offers
// none, nothing changes.
void AdviseLargePages(std::uint8_t* buffer, std::size_t size) {
#ifdef MADV_HUGEPAGE
  if (size < 2 * kLargePage) return;
  auto start = (reinterpret_cast<std::uintptr_t>(buffer) + kLargePage - 1) & ~(kLargePage - 1);
  auto end = (reinterpret_cast<std::uintptr_t>(buffer) + size) & ~(kLargePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)buffer;
  (void)size;
#endif
}

}  // namespace

bool LoadedImage::Allocate(std::size_t size) {
  Release();
  if (size > allocationLimit) return false;
  // calloc hands out zeroed pages without touching them, so a large image
  // costs memory only where the file fills it. One byte at least, so that an
  // empty image still has a buffer.
  auto* buffer = static_cast<std::uint8_t*>(std::calloc(size == 0 ? 1 : size, 1));
  if (buffer == nullptr) return false;
  AdviseLargePages(buffer, size);
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
