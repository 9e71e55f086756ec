#pragma once
// The configuration text file: one parameter line per text line. Lines are
// written with CR LF on every platform, so that a file made here reads the
// same everywhere; lines ending in LF alone or in CR LF are read back alike.
// Lines are read one at a time into a bounded buffer, whatever the file holds.
//
// A configuration file is a unit's calibration: it is never emptied or
// overwritten in place. A new content goes to a temporary file beside it and
// takes its place in one step, once complete; the earlier content is kept
// beside it under a numbered name.

#include <cstdio>
#include <string>
#include <string_view>

namespace rv4410 {

// The longest line the loader takes from a file, without its line end.
inline constexpr std::size_t kParameterLineLimit = 254;

// The temporary file beside the configuration file while a new content is written.
inline constexpr const char* kTemporarySuffix = ".partial";

enum class FileLine {
  kLine,       // a line, without its line end
  kTooLong,    // a line of more than 254 characters: its first 254, the rest skipped
  kEnd,        // no more lines
  kReadError,  // the system failed to read the file: its end is unknown (Error() says why)
};

class ParameterFileReader {
 public:
  ParameterFileReader() = default;
  ~ParameterFileReader();
  ParameterFileReader(const ParameterFileReader&) = delete;
  ParameterFileReader& operator=(const ParameterFileReader&) = delete;

  // Opens `path` for reading; false (errno set) when it cannot be opened.
  bool Open(const std::string& path);
  // The next line into `line`. Only a real line end is removed: LF, or CR LF
  // counted as one; a last line without a newline keeps all its characters,
  // and a CR elsewhere is an ordinary character. After kReadError every
  // further call gives kReadError again.
  FileLine ReadLine(std::string& line);
  // Back to the first line of the same open file, for a second pass; false
  // (errno set) when the file cannot be read again from its start.
  bool Rewind();
  // The system's error number of the last kReadError, or of a failed Rewind.
  int Error() const { return error_; }
  void Close();

 private:
  std::FILE* file_ = nullptr;
  int error_ = 0;
};

// How a new content took the place of the configuration file.
struct FileReplacement {
  bool done = false;   // the new content is in place
  int error = 0;       // the system's error number when it is not
  std::string keptAs;  // where the earlier content now is; empty when there was none
};

class ParameterFileWriter {
 public:
  ParameterFileWriter() = default;
  // Discards a content that was never committed.
  ~ParameterFileWriter();
  ParameterFileWriter(const ParameterFileWriter&) = delete;
  ParameterFileWriter& operator=(const ParameterFileWriter&) = delete;

  // Starts a new content for `path` in the temporary file beside it (a
  // leftover of an earlier attempt there is emptied); `path` itself is not
  // touched. A `path` that is a symbolic link stands for the file it names.
  // False (errno set) when `path` exists and is no regular file (EISDIR for
  // a folder, EINVAL otherwise) or when the temporary file cannot be created.
  bool Create(const std::string& path);
  // Writes `line` and CR LF and flushes, so that a failing write shows at
  // once. False when the line did not reach the file.
  bool WriteLine(std::string_view line);
  // Lines written since Create, and whether any write failed.
  int Lines() const { return lines_; }
  bool WriteFailed() const { return writeFailed_; }
  // Puts the new content in place: flushed to the disk, the earlier content
  // (unless the file was missing or empty) kept as "<path>.1", or the first
  // of ".2", ".3" ... that does not exist yet, then renamed over `path` in
  // one step. On failure `path` is as it was and the temporary file is gone.
  FileReplacement Commit();
  // Drops the new content: the temporary file is removed, `path` stays as it was.
  void Discard();

 private:
  std::FILE* file_ = nullptr;
  std::string target_;
  std::string temporary_;
  int lines_ = 0;
  bool writeFailed_ = false;
};

// The two C calls under every configuration file read and write. A test puts
// failing ones in their place to show a full disk or a read failing part way,
// faults that no file can be made to show here. Process-wide; the defaults
// are getc and fwrite.
struct ParameterFileIo {
  // One byte, or EOF with `failed` set when it was a read error.
  int (*readByte)(std::FILE* file, bool& failed);
  std::size_t (*writeBytes)(const void* bytes, std::size_t count, std::FILE* file);
};
ParameterFileIo& ParameterFileIoForTesting();

}  // namespace rv4410
