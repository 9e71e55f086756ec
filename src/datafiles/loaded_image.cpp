#include "datafiles/loaded_image.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "checksum/crc32.h"
#include "platform/system_calls.h"

namespace rv4410 {

bool LoadedImage::Allocate(std::size_t size, std::size_t held) {
  Release();
  held = std::min(held, size);
  if (held > allocationLimit) return false;
  // calloc hands out zeroed pages without touching them, so a large image
  // costs memory only where the file fills it. One byte at least, so that an
  // empty image still has a buffer.
  auto* buffer = static_cast<std::uint8_t*>(std::calloc(held == 0 ? 1 : held, 1));
  if (buffer == nullptr) return false;
  // A large image is filled front to back right after allocation.
  AdviseSequentialFill(buffer, held);
  buffer_.reset(buffer);
  size_ = size;
  held_ = held;
  return true;
}

bool LoadedImage::Hold(std::size_t held) {
  held = std::min(held, size_);
  if (held == held_) return true;
  if (held > allocationLimit) {
    Release();
    return false;
  }
  auto* buffer = static_cast<std::uint8_t*>(std::realloc(buffer_.get(), held == 0 ? 1 : held));
  if (buffer == nullptr) {
    Release();
    return false;
  }
  (void)buffer_.release();
  buffer_.reset(buffer);
  if (held > held_) std::memset(buffer + held_, 0, held - held_);
  held_ = held;
  return true;
}

void LoadedImage::Release() {
  buffer_.reset();
  size_ = 0;
  held_ = 0;
  length = 0;
}

void LoadedImage::Copy(std::size_t offset, std::size_t count, std::uint8_t* into) const {
  std::size_t fromHeld = offset < held_ ? std::min(count, held_ - offset) : 0;
  if (fromHeld > 0) std::memcpy(into, buffer_.get() + offset, fromHeld);
  if (count > fromHeld) std::memset(into + fromHeld, 0, count - fromHeld);
}

const std::uint8_t* LoadedImage::Bytes(std::size_t offset, std::size_t count,
                                       std::uint8_t* scratch) const {
  if (offset + count <= held_) return buffer_.get() + offset;
  Copy(offset, count, scratch);
  return scratch;
}

void LoadedImage::UpdateCrc(std::uint32_t& crc, std::size_t begin, std::size_t end) const {
  if (end <= begin) return;
  std::size_t heldEnd = std::min(end, held_);
  if (begin < heldEnd) {
    Crc32UpdateBytes(crc, buffer_.get() + begin, static_cast<long>(heldEnd - begin));
  }
  Crc32UpdateZeros(crc, end - std::max(begin, heldEnd));
}

}  // namespace rv4410
