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

class LoadedImage {
 public:
  // Replaces the buffer with `size` zero bytes. False when the memory is not
  // available (or exceeds the limit); the slot is then empty.
  bool Allocate(std::size_t size);
  void Release();

  std::uint8_t* Data() { return buffer_.get(); }
  const std::uint8_t* Data() const { return buffer_.get(); }
  bool HasBuffer() const { return buffer_ != nullptr; }
  // Bytes in the buffer.
  std::size_t Size() const { return size_; }

  // The image length the setup page keeps with the slot (what the reader returned).
  std::int64_t length = 0;
  // The largest buffer the slot will take; a host with little memory, or a
  // test of the allocation failure, lowers it.
  std::size_t allocationLimit = std::numeric_limits<std::size_t>::max();

 private:
  struct FreeBuffer {
    void operator()(std::uint8_t* buffer) const { std::free(buffer); }
  };
  std::unique_ptr<std::uint8_t[], FreeBuffer> buffer_;
  std::size_t size_ = 0;
};

// The data-file state of a run, created once beside the RunState (the data
// files sit above the protocol, so it is not part of it). Overwritten by every
// program or map read; read by unit detection, transfer set-up and the uploads.
struct DataFiles {
  LoadedImage loadedImage;
  MapHeader mapHeader;
  ControlBlock mapControlBlock;
};

}  // namespace rv4410
