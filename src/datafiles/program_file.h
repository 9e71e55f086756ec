#pragma once
// The program file: one continuous stream of hexadecimal digits whose bytes
// form the program image. Its first 256 bytes are the control block sent ahead
// of the program data; the image length stands big-endian at offset 8.

#include <cstdint>
#include <cstdio>
#include <optional>

#include "datafiles/file_refusal.h"
#include "datafiles/loaded_image.h"
#include "platform/host.h"

namespace rv4410 {

inline constexpr std::int32_t kProgramHeaderSize = 16;
// What was wrong with a refused program file, in plain words for the log.
inline constexpr const char* kNoHeaderPlainFormat = "not a program file: it ends before byte %d";
inline constexpr const char* kInvalidHeaderPlainFormat =
    "not a program file: its header gives an image of %d bytes, fewer than %d";
inline constexpr const char* kNoMemoryPlainFormat = "no memory for an image of %d bytes";
inline constexpr const char* kProgramCrcPlain =
    "its check sum does not match its contents: the file is damaged or not a program file";
inline constexpr const char* kControlBlockCrcPlain =
    "its control block's check sum does not match: the file is damaged";
inline constexpr const char* kLoaderVersionPlain = "the program was made for another loader";

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

inline constexpr const char* kInvalidHeaderFormat = "Invalid header (says %d bytes)";
inline constexpr const char* kCannotLoadProgram = "Cannot load this program file";
inline constexpr const char* kLoaderVersionCaption = "Loader Version Error";
inline constexpr const char* kProgramCrcErrorFormat = "File '%s' has CRC Error.";
inline constexpr const char* kControlBlockCrcErrorFormat = "File '%s' Control Block CRC Error.";
// A file that ends before its header's length: the rest of the image is zero.
inline constexpr const char* kPaddedImageLogFormat =
    "The file supplies %d of the image's %d bytes; the rest is zero";

// Reads the program file into the image slot `slot`. Taken: the header's
// image length N (the image is N bytes, zero where the file ran short; the
// read's note then says how many bytes the file supplied). Refused when the
// file cannot be opened (nothing said; a line for the log when it is not a
// regular file) or ends before byte 16 begins (nothing said), when
// the header length is below 16 or N bytes cannot be had (an error box), or
// when `host` asks the run to stop (nothing said). A refusal before the
// header is complete leaves the slot as it was; a failed allocation leaves
// it empty.
ImageRead ReadProgramFile(Host& host, LoadedImage& slot, const char* path);
// The same over an open text stream (not closed here), without the note.
ImageRead ReadProgramStream(Host& host, LoadedImage& slot, std::FILE* file);

// Checks the loaded program image, in order: no loader-version word, the
// program CRC, the control-block CRC. Nothing when it passes; otherwise the
// first failure, an error box naming `fileName`.
std::optional<FileRefusal> CheckProgramImage(const LoadedImage& image, const char* fileName);

}  // namespace rv4410
