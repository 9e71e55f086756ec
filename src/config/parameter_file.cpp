#include "config/parameter_file.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/system_calls.h"

namespace rv4410 {

namespace {

namespace fs = std::filesystem;

int ReadByte(std::FILE* file, bool& failed) {
  int c = std::getc(file);
  if (c == EOF && std::ferror(file) != 0) failed = true;
  return c;
}

std::size_t WriteBytes(const void* bytes, std::size_t count, std::FILE* file) {
  return std::fwrite(bytes, 1, count, file);
}

ParameterFileIo io{ReadByte, WriteBytes};

// Numbered copies are looked for up to this one; beyond it the folder is
// past anything a technician keeps, and the new content is refused.
constexpr int kMaxKeptCopies = 9999;

// A copy for a file system without a second name for a file. "x": the
// copy is created here or not at all, so nothing at `copy` is overwritten.
bool CopyInto(const std::string& from, const std::string& copy) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return false;
  std::FILE* out = std::fopen(copy.c_str(), "wbx");
  if (out == nullptr) {
    int error = errno;
    std::fclose(in);
    errno = error;
    return false;
  }
  char buffer[4096];
  bool copied = true;
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
    if (std::fwrite(buffer, 1, n, out) != n) copied = false;
  }
  if (std::ferror(in) != 0) copied = false;
  copied = FlushToDisk(out) && copied;
  int error = errno;
  std::fclose(in);
  copied = std::fclose(out) == 0 && copied;
  if (!copied) {
    std::error_code ignored;
    fs::remove(copy, ignored);
    errno = error != 0 ? error : EIO;
  }
  return copied;
}

// Keeps what `path` holds under the first free numbered name. A missing or
// empty file holds nothing to lose: the set-up page creates an empty one, and
// keeping it would leave an empty numbered file beside every first read.
bool KeepEarlierContent(const std::string& path, std::string& keptAs) {
  std::error_code ec;
  std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size == 0) return true;
  for (int n = 1; n <= kMaxKeptCopies; ++n) {
    std::string name = path + "." + std::to_string(n);
    if (fs::exists(fs::symlink_status(name, ec))) continue;
    bool kept = AddFileName(path.c_str(), name.c_str());
    if (!kept && errno == EEXIST) continue;
    if (!kept) kept = CopyInto(path, name);
    if (!kept && errno == EEXIST) continue;
    if (kept) keptAs = name;
    return kept;
  }
  errno = EEXIST;
  return false;
}

// The file a configuration path stands for: a symbolic link is followed, so
// that the new content goes where the old one is, not over the link.
std::string TargetOf(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
  fs::path target = fs::weakly_canonical(path, ec);
  return ec ? path : target.string();
}

}  // namespace

ParameterFileIo& ParameterFileIoForTesting() {
  return io;
}

ParameterFileReader::~ParameterFileReader() {
  Close();
}

bool ParameterFileReader::Open(const std::string& path) {
  Close();
  error_ = 0;
  // Binary mode: the line ends are ours to interpret, the same on every platform.
  file_ = std::fopen(path.c_str(), "rb");
  return file_ != nullptr;
}

FileLine ParameterFileReader::ReadLine(std::string& line) {
  line.clear();
  if (file_ == nullptr) return FileLine::kEnd;
  if (error_ != 0) return FileLine::kReadError;
  bool tooLong = false;
  bool any = false;
  bool failed = false;
  for (;;) {
    int c = io.readByte(file_, failed);
    if (c == EOF) break;
    any = true;
    if (c == '\n') break;
    if (c == '\r') {
      int next = io.readByte(file_, failed);
      if (next == '\n') break;
      if (next != EOF) std::ungetc(next, file_);
    }
    if (line.size() < kParameterLineLimit) {
      line.push_back(static_cast<char>(c));
    } else {
      tooLong = true;  // skipped up to the line end
    }
  }
  if (failed) {
    // What came before the failure is no line: its end was never seen.
    error_ = errno != 0 ? errno : EIO;
    line.clear();
    return FileLine::kReadError;
  }
  if (!any) return FileLine::kEnd;
  return tooLong ? FileLine::kTooLong : FileLine::kLine;
}

bool ParameterFileReader::Rewind() {
  if (file_ == nullptr) return false;
  std::clearerr(file_);
  error_ = 0;
  if (std::fseek(file_, 0, SEEK_SET) == 0) return true;
  error_ = errno;
  return false;
}

void ParameterFileReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

ParameterFileWriter::~ParameterFileWriter() {
  Discard();
}

bool ParameterFileWriter::Create(const std::string& path) {
  Discard();
  lines_ = 0;
  writeFailed_ = false;
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  target_ = TargetOf(path);
  std::error_code ec;
  fs::file_status status = fs::status(target_, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    errno = fs::is_directory(status) ? EISDIR : EINVAL;
    return false;
  }
  temporary_ = target_ + kTemporarySuffix;
  // Binary mode with explicit CR LF: the same file on every platform.
  file_ = std::fopen(temporary_.c_str(), "wb");
  return file_ != nullptr;
}

bool ParameterFileWriter::WriteLine(std::string_view line) {
  if (file_ == nullptr) return false;
  bool written = io.writeBytes(line.data(), line.size(), file_) == line.size();
  written = io.writeBytes("\r\n", 2, file_) == 2 && written;
  written = std::fflush(file_) == 0 && written;
  if (written) {
    ++lines_;
  } else {
    writeFailed_ = true;
  }
  return written;
}

FileReplacement ParameterFileWriter::Commit() {
  FileReplacement replacement;
  if (file_ == nullptr) {
    replacement.error = EBADF;
    return replacement;
  }
  bool flushed = FlushToDisk(file_);
  int error = errno;
  bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!flushed || !closed) {
    replacement.error = flushed ? errno : error;
  } else if (!KeepEarlierContent(target_, replacement.keptAs)) {
    replacement.error = errno;
  } else if (!MoveIntoPlace(temporary_.c_str(), target_.c_str())) {
    replacement.error = errno;
  } else {
    replacement.done = true;
    temporary_.clear();
    return replacement;
  }
  Discard();
  return replacement;
}

void ParameterFileWriter::Discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (temporary_.empty()) return;
  std::error_code ignored;
  fs::remove(temporary_, ignored);
  temporary_.clear();
}

}  // namespace rv4410
