#pragma once
// What a file reader needs in a fuzz target: a virtual host (never asked to
// stop) and an image slot that holds at most 64 KiB (a map header may ask
// for 4 GB; the refusal is what gets exercised; a program header's claim
// costs only what the input supplies).

#include <cstdio>

#include "datafiles/loaded_image.h"
#include "platform/virtual_host.h"

namespace rv4410::fuzz {

struct FuzzFiles {
  FuzzFiles() { files.loadedImage.allocationLimit = 64 << 10; }
  VirtualHost host;
  DataFiles files;
};

// The input as a read-only stream; null for an empty input.
inline std::FILE* OpenInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return nullptr;
  return fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
}

}  // namespace rv4410::fuzz
