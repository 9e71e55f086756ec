#pragma once
// The loader's run state for a fuzz target: a virtual host that acknowledges
// every box and cancels every file-open dialog, no log file, and an image slot
// that holds at most 64 KiB (a map header may ask for 4 GB; the refusal is what
// gets exercised; a program header's claim costs only what the input supplies).

#include <cstdio>
#include <optional>
#include <string>

#include "datafiles/loaded_image.h"
#include "platform/virtual_host.h"
#include "protocol/run_state.h"

namespace rv4410::fuzz {

struct FuzzRun {
  FuzzRun() {
    host.SetBoxHandler([this](const MessageBoxRequest& box) {
      return box.buttons == BoxButtons::kOkCancel ? warningAnswer : BoxAnswer::kOk;
    });
    host.SetChoiceHandler(
        [](const FileChoiceRequest&) -> std::optional<std::string> { return std::nullopt; });
    files.loadedImage.allocationLimit = 64 << 10;
  }
  VirtualHost host;
  RunState run{host, "/dev/null"};
  DataFiles files;
  BoxAnswer warningAnswer = BoxAnswer::kOk;
};

// The input as a read-only stream; null for an empty input.
inline std::FILE* OpenInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return nullptr;
  return fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
}

}  // namespace rv4410::fuzz
