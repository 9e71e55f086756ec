#pragma once
// A full disk and a file that fails part way through reading, for one scope:
// the configuration file's C calls are replaced by ones that give out after a
// number of bytes, as the real faults would, which no file here can show.

#include <cerrno>
#include <cstdio>

#include "config/parameter_file.h"

namespace rv4410::test {

class FailingFileIo {
 public:
  static constexpr long kNever = -1;

  // Writes fail with ENOSPC once `writableBytes` have been written, reads
  // with EIO once `readableBytes` have been read.
  FailingFileIo(long writableBytes, long readableBytes) : saved_(ParameterFileIoForTesting()) {
    writable_ = writableBytes;
    readable_ = readableBytes;
    ParameterFileIoForTesting() = {Read, Write};
  }
  ~FailingFileIo() { ParameterFileIoForTesting() = saved_; }
  FailingFileIo(const FailingFileIo&) = delete;
  FailingFileIo& operator=(const FailingFileIo&) = delete;

 private:
  static int Read(std::FILE* file, bool& failed) {
    if (readable_ == 0) {
      errno = EIO;
      failed = true;
      return EOF;
    }
    int c = std::getc(file);
    if (c == EOF) {
      if (std::ferror(file) != 0) failed = true;
    } else if (readable_ > 0) {
      --readable_;
    }
    return c;
  }
  static std::size_t Write(const void* bytes, std::size_t count, std::FILE* file) {
    if (writable_ >= 0 && static_cast<std::size_t>(writable_) < count) {
      errno = ENOSPC;
      return 0;
    }
    if (writable_ >= 0) writable_ -= static_cast<long>(count);
    return std::fwrite(bytes, 1, count, file);
  }

  static inline long writable_ = kNever;
  static inline long readable_ = kNever;
  ParameterFileIo saved_;
};

}  // namespace rv4410::test
