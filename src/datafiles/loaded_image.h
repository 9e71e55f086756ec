#pragma once
// The one slot for a loaded image (program or map data) and the rest of the
// data-file state of a run. The slot owns its buffer; the next file read
// replaces it.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>

#include "datafiles/control_block.h"
#include "datafiles/map_header.h"

namespace rv4410 {

inline constexpr const char* kCouldNotAllocateFormat = "Could not allocate %d bytes.";

// An image of Size() bytes of which the first Held() are in memory. The rest
// is the zero padding of a file that ended before its header's length: part
// of the image, produced whenever it is read and never stored, so that memory
// follows the file and not what its header claims.
class LoadedImage {
 public:
  // Replaces the buffer with an image of `size` zero bytes, all held.
  bool Allocate(std::size_t size) { return Allocate(size, size); }
  // Replaces the buffer with an image of `size` bytes of which the first
  // `held` (at most `size`) are in memory, all zero. False when the memory is
  // not available (or exceeds the limit); the slot is then empty.
  bool Allocate(std::size_t size, std::size_t held);
  // Changes how many leading bytes are in memory (at most Size()): bytes
  // taken in are zero; bytes let go must be zero, as they read as padding
  // from then on. False when the memory is not available; the slot is then empty.
  bool Hold(std::size_t held);
  void Release();

  // The held bytes.
  std::uint8_t* Data() { return buffer_.get(); }
  const std::uint8_t* Data() const { return buffer_.get(); }
  bool HasBuffer() const { return buffer_ != nullptr; }
  // Bytes of the image, its padding included.
  std::size_t Size() const { return size_; }
  // Bytes in memory: what the file supplied.
  std::size_t Held() const { return held_; }

  // Copies the image's `count` bytes from `offset` (the range within Size())
  // into `into`, the padding's zeros included.
  void Copy(std::size_t offset, std::size_t count, std::uint8_t* into) const;
  // The image's `count` bytes from `offset`: the held bytes themselves where
  // they cover the range, otherwise a Copy into `scratch` (room for `count`).
  const std::uint8_t* Bytes(std::size_t offset, std::size_t count, std::uint8_t* scratch) const;
  std::uint8_t At(std::size_t offset) const { return offset < held_ ? buffer_[offset] : 0; }
  // Advances `crc` over the image's bytes from `begin` up to `end` (at most
  // Size()); however long the padding, it costs a few steps.
  void UpdateCrc(std::uint32_t& crc, std::size_t begin, std::size_t end) const;

  // The image length the setup page keeps with the slot (what the reader returned).
  std::int64_t length = 0;
  // The most bytes the slot will hold; a host with little memory, or a test
  // of the allocation failure, lowers it.
  std::size_t allocationLimit = std::numeric_limits<std::size_t>::max();

 private:
  struct FreeBuffer {
    void operator()(std::uint8_t* buffer) const { std::free(buffer); }
  };
  std::unique_ptr<std::uint8_t[], FreeBuffer> buffer_;
  std::size_t size_ = 0;
  std::size_t held_ = 0;
};

// The data-file state of a run, created once beside the RunState (the data
// files do not depend on the protocol, so it is not part of it). Overwritten by every
// program or map read; read by unit detection, transfer set-up and the uploads.
struct DataFiles {
  LoadedImage loadedImage;
  MapHeader mapHeader;
  ControlBlock mapControlBlock;
};

}  // namespace rv4410
