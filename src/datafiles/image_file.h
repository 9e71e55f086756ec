#pragma once
// Opening a program or map file: only a regular file is read.

#include <cstdio>

#include "protocol/run_state.h"

namespace rv4410 {

inline constexpr const char* kNotARegularFileLogFormat = "'%s' is not a regular file: not read";

// Opens `path` for reading with the stdio `mode` when it is a regular file.
// Anything else (a FIFO, a device, a folder) is refused before it is opened,
// with a line in the log saying so; null then, as for a file that will not open.
std::FILE* OpenImageFile(RunState& run, const char* path, const char* mode);

}  // namespace rv4410
