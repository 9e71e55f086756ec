#include "config/parameter_file.h"

namespace rv4410 {

ParameterFileReader::~ParameterFileReader() {
  Close();
}

bool ParameterFileReader::Open(const std::string& path) {
  Close();
  // Binary mode: the line ends are ours to interpret, the same on every platform.
  file_ = std::fopen(path.c_str(), "rb");
  return file_ != nullptr;
}

FileLine ParameterFileReader::ReadLine(std::string& line) {
  line.clear();
  if (file_ == nullptr) return FileLine::kEnd;
  bool tooLong = false;
  bool any = false;
  for (;;) {
    int c = std::getc(file_);
    if (c == EOF) break;
    any = true;
    if (c == '\n') break;
    if (c == '\r') {
      int next = std::getc(file_);
      if (next == '\n') break;
      if (next != EOF) std::ungetc(next, file_);
    }
    if (line.size() < kParameterLineLimit) {
      line.push_back(static_cast<char>(c));
    } else {
      tooLong = true;  // skipped up to the line end
    }
  }
  if (!any) return FileLine::kEnd;
  return tooLong ? FileLine::kTooLong : FileLine::kLine;
}

void ParameterFileReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

ParameterFileWriter::~ParameterFileWriter() {
  Close();
}

bool ParameterFileWriter::Create(const std::string& path) {
  Close();
  // Binary mode with explicit CR LF: the same file on every platform.
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

bool ParameterFileWriter::WriteLine(std::string_view line) {
  if (file_ == nullptr) return false;
  bool written = std::fwrite(line.data(), 1, line.size(), file_) == line.size();
  written = std::fwrite("\r\n", 1, 2, file_) == 2 && written;
  return std::fflush(file_) == 0 && written;
}

bool ParameterFileWriter::Close() {
  if (file_ == nullptr) return true;
  bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  return closed;
}

}  // namespace rv4410
