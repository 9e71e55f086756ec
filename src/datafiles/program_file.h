#pragma once
// The program file: one continuous stream of hexadecimal digits whose bytes
// form the program image. Its first 256 bytes are the control block sent ahead
// of the program data; the image length stands big-endian at offset 8.

#include <cstdint>
#include <cstdio>

#include "datafiles/loaded_image.h"
#include "platform/host.h"
#include "protocol/run_state.h"

namespace rv4410 {

inline constexpr std::int32_t kProgramHeaderSize = 16;

// Control-block fields of a program image (32-bit big-endian words).
inline constexpr std::size_t kProgramLengthOffset = 8;
inline constexpr std::size_t kOlderEndOffset = 16;
inline constexpr std::size_t kOlderCrcOffset = 212;
inline constexpr std::size_t kOlderCrcFallbackOffset = 224;
inline constexpr std::size_t kNewerCrcOffset = 244;
inline constexpr std::size_t kLoaderVersionOffset = 248;
inline constexpr std::size_t kControlBlockCrcOffset = 252;
// The control-block check covers offsets 0 to 250.
inline constexpr std::size_t kControlBlockCheckedBytes = 251;

inline constexpr const char* kReadProgramFileLog = "Read Program file...";
inline constexpr const char* kInvalidHeaderFormat = "Invalid header (says %d bytes)";
inline constexpr const char* kCannotLoadProgram = "Cannot load this program file";
inline constexpr const char* kLoaderVersionCaption = "Loader Version Error";
inline constexpr const char* kProgramCrcErrorFormat = "File '%s' has CRC Error.";
inline constexpr const char* kControlBlockCrcErrorFormat = "File '%s' Control Block CRC Error.";
// A file that ends before its header's length: the rest of the image is zero.
inline constexpr const char* kPaddedImageLogFormat =
    "The file supplies %d of the image's %d bytes; the rest is zero";

// Reads the program file into the image slot. Returns the header's image
// length N (the image is N bytes, zero where the file ran short), or -1 when
// the file cannot be opened, ends before byte 16 begins, has a header length
// below 16, or N bytes cannot be had. Shows (owned by `owner`) and logs the
// header and allocation failures only. A failure before the header is complete
// leaves the slot as it was; a failed allocation leaves it empty.
int ReadProgramFile(RunState& run, DataFiles& files, const char* path, WindowRef owner = nullptr);
// The same over an open text stream (not closed here); the path is not logged.
int ReadProgramStream(RunState& run, DataFiles& files, std::FILE* file, WindowRef owner = nullptr);

// Checks the loaded program image, in order: no loader-version word, the
// program CRC, the control-block CRC. On the first failure shows its message
// (naming `fileName`), logs it and returns false.
bool CheckProgramImage(RunState& run, const LoadedImage& image, const char* fileName,
                       WindowRef owner = nullptr);

}  // namespace rv4410
