#pragma once
// The configuration text file: one parameter line per text line. Lines are
// written with CR LF on every platform, so that a file made here reads the
// same everywhere; lines ending in LF alone or in CR LF are read back alike.
// Lines are read one at a time into a bounded buffer, whatever the file holds.

#include <cstdio>
#include <string>
#include <string_view>

namespace rv4410 {

// The longest line the loader takes from a file, without its line end.
inline constexpr std::size_t kParameterLineLimit = 254;

enum class FileLine {
  kLine,     // a line, without its line end
  kTooLong,  // a line of more than 254 characters: its first 254, the rest skipped
  kEnd,      // no more lines
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
  // and a CR elsewhere is an ordinary character.
  FileLine ReadLine(std::string& line);
  void Close();

 private:
  std::FILE* file_ = nullptr;
};

class ParameterFileWriter {
 public:
  ParameterFileWriter() = default;
  ~ParameterFileWriter();
  ParameterFileWriter(const ParameterFileWriter&) = delete;
  ParameterFileWriter& operator=(const ParameterFileWriter&) = delete;

  // Creates `path`, or truncates it; false (errno set) when it cannot.
  bool Create(const std::string& path);
  // Writes `line` and CR LF and flushes, so that a failing write shows at
  // once. False when the line did not reach the file.
  bool WriteLine(std::string_view line);
  // False when the last buffered bytes could not be written.
  bool Close();

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace rv4410
