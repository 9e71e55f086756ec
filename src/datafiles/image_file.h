#pragma once
// Opening a program or map file: only a regular file is read.

#include <cstdio>
#include <string>

#include "datafiles/file_refusal.h"

namespace rv4410 {

inline constexpr const char* kNotARegularFileLogFormat = "'%s' is not a regular file: not read";
inline constexpr const char* kNotOpenedPlainFormat = "the file cannot be opened: %s";

// A program or map file open for reading, closed when this goes.
class ImageFile {
 public:
  // Opens `path` for reading with the stdio `mode` when it is a regular file.
  // Anything else (a FIFO, a device, a folder) is refused before it is
  // opened, as is a file that will not open.
  ImageFile(const char* path, const char* mode);
  ~ImageFile();
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  explicit operator bool() const { return file_ != nullptr; }
  std::FILE* Stream() const { return file_; }
  // Why the file is not open: nothing said, except a line for the log when
  // it is not a regular file.
  FileRefusal Refusal() const;

 private:
  std::FILE* file_ = nullptr;
  std::string notRegularText_;
  int openError_ = 0;
};

}  // namespace rv4410
