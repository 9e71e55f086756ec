#include "config/parameter_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "checksum/crc32.h"
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

// The first free numbered name beside `path` ("<path>.1", ".2", ...) that
// `place` manages to claim without overwriting anything; false (errno set)
// when `place` fails otherwise or every number is taken.
bool ClaimNumberedName(const std::string& path, std::string& claimed,
                       const std::function<bool(const std::string&)>& place) {
  std::error_code ec;
  for (int n = 1; n <= kMaxKeptCopies; ++n) {
    std::string name = SiblingName(path, "." + std::to_string(n));
    if (fs::exists(fs::symlink_status(name, ec))) continue;
    if (place(name)) {
      claimed = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  errno = EEXIST;
  return false;
}

// Keeps what `path` holds under the first free numbered name. A missing or
// empty file holds nothing to lose: the set-up page creates an empty one, and
// keeping it would leave an empty numbered file beside every first read.
bool KeepEarlierContent(const std::string& path, std::string& keptAs) {
  std::error_code ec;
  std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size == 0) return true;
  return ClaimNumberedName(path, keptAs, [&path](const std::string& name) {
    if (AddFileName(path.c_str(), name.c_str())) return true;
    return errno != EEXIST && CopyInto(path, name);
  });
}

// Where the temporary files of `target` begin: "<target>.partial-", to be
// followed by the digits that make each one unique.
std::string TemporaryPrefix(const std::string& target) {
  return SiblingName(target, kTemporaryInfix, kUniqueSuffixLength);
}

// Whether `name` is one of the temporary files of `base`: `prefix` and eight
// hexadecimal digits, or the bare "<base>.partial" of earlier versions.
bool IsTemporaryOf(const std::string& name, const std::string& base, const std::string& prefix) {
  const std::string bare = base + kTemporaryMark;
  if (name == bare) return true;
  if (name.size() != prefix.size() + kUniqueSuffixLength ||
      name.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  return std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

// Removes the temporary files beside `target` that no run holds: a run that
// writes one keeps it locked, so an unlocked one was left by a run that
// ended before its commit.
std::vector<LeftoverFile> RemoveLeftovers(const std::string& target) {
  std::vector<LeftoverFile> found;
  fs::path targetPath(target);
  fs::path folder = targetPath.has_parent_path() ? targetPath.parent_path() : fs::path(".");
  const std::string base = targetPath.filename().string();
  const std::string prefix = fs::path(TemporaryPrefix(target)).filename().string();
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!IsTemporaryOf(name, base, prefix)) continue;
    // Named as the caller names the configuration file, separators included.
    std::string path = target.substr(0, target.size() - base.size()) + name;
    FileLock lock;
    LockTry got = lock.TryLock(path);
    if (got == LockTry::kLocked) {
      // Removed while locked: a run that has just made it and not yet
      // locked it finds its name gone and makes another.
      found.push_back({path, std::remove(path.c_str()) == 0});
    } else if (got == LockTry::kHeld) {
      found.push_back({path, false});
    }
  }
  return found;
}

}  // namespace

std::string ConfigurationTarget(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(fs::symlink_status(path, ec))) return path;
  fs::path target = fs::weakly_canonical(path, ec);
  return ec ? path : target.string();
}

std::string SiblingName(const std::string& path, std::string_view suffix, std::size_t reserve) {
  fs::path whole(path);
  std::string name = whole.filename().string();
  std::string folder = whole.has_parent_path() ? whole.parent_path().string() : ".";
  std::size_t max = MaxNameLength(folder);
  if (name.size() + suffix.size() + reserve <= max) return path + std::string(suffix);
  std::uint32_t crc = 0;
  Crc32Init(crc);
  Crc32UpdateBytes(crc, reinterpret_cast<const std::uint8_t*>(name.data()),
                   static_cast<long>(name.size()));
  char mark[12];
  std::snprintf(mark, sizeof mark, "~%08X", crc);
  std::size_t fixed = suffix.size() + reserve + std::strlen(mark);
  std::size_t keep = std::min(name.size(), max > fixed ? max - fixed : 0);
  // A byte of the form 10xxxxxx continues a character begun before it.
  while (keep > 0 && keep < name.size() &&
         (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
    --keep;
  }
  return path.substr(0, path.size() - name.size()) + name.substr(0, keep) + mark +
         std::string(suffix);
}

bool ReplaceFileDurably(const std::string& path, std::string_view text) {
  RemoveLeftovers(path);
  std::string temporary;
  std::FILE* file = CreateOwnFile(TemporaryPrefix(path), temporary);
  if (file == nullptr) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  written = FlushToDisk(file) && written;
  // Renamed while still open, and so locked: no other run takes it for a leftover.
  written = written && MoveIntoPlace(temporary.c_str(), path.c_str());
  int error = errno;
  if (!written) std::remove(temporary.c_str());
  std::fclose(file);
  errno = error;
  return written;
}

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

LockTry ConfigurationFileLock::Acquire(const std::string& target,
                                       const std::function<bool()>& waitTurn) {
  for (;;) {
    LockTry got = lock_.TryLockName(target, SiblingName(target, kLockSuffix));
    if (got != LockTry::kHeld) return got;
    if (!waitTurn || !waitTurn()) return LockTry::kHeld;
  }
}

ParameterFileWriter::~ParameterFileWriter() {
  Discard();
}

bool ParameterFileWriter::Create(const std::string& path) {
  Discard();
  lines_ = 0;
  writeFailed_ = false;
  leftovers_.clear();
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  target_ = ConfigurationTarget(path);
  std::error_code ec;
  fs::file_status status = fs::status(target_, ec);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    errno = fs::is_directory(status) ? EISDIR : EINVAL;
    return false;
  }
  leftovers_ = RemoveLeftovers(target_);
  // A name of its own, so that two runs writing the same file never write
  // into one temporary file. Binary mode with explicit CR LF: the same file
  // on every platform.
  file_ = CreateOwnFile(TemporaryPrefix(target_), temporary_);
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

// The new content on the disk, and the temporary file still the one written:
// it stays open, and so locked, until it has taken its place.
bool ParameterFileWriter::FlushAndCheck(FileReplacement& replacement) {
  if (file_ == nullptr) {
    replacement.error = EBADF;
    return false;
  }
  if (!FlushToDisk(file_)) {
    replacement.error = errno;
    return false;
  }
  if (!IsFileAt(file_, temporary_)) {
    replacement.error = ENOENT;
    return false;
  }
  return true;
}

FileReplacement ParameterFileWriter::Commit(const CommitRules& rules) {
  FileReplacement replacement;
  if (!FlushAndCheck(replacement)) {
    Discard();
    return replacement;
  }
  ConfigurationFileLock lock;
  for (;;) {
    LockTry got = lock.Acquire(target_, rules.waitTurn);
    if (got == LockTry::kGone) {
      // Nothing there yet: the new content takes the free name, unless
      // another run's got there first.
      if (rules.mayReplace && !rules.mayReplace(target_)) {
        replacement.refused = true;
        break;
      }
      if (MoveIntoFreePlace(temporary_.c_str(), target_.c_str())) {
        replacement.done = true;
        break;
      }
      if (errno == EEXIST) continue;
      replacement.error = errno;
      break;
    }
    if (got != LockTry::kLocked) {
      replacement.busy = got == LockTry::kHeld;
      replacement.error = replacement.busy ? EBUSY : errno;
      break;
    }
    if (rules.mayReplace && !rules.mayReplace(target_)) {
      replacement.refused = true;
    } else if (!KeepEarlierContent(target_, replacement.keptAs)) {
      replacement.error = errno;
    } else if (!MoveIntoPlace(temporary_.c_str(), target_.c_str())) {
      replacement.error = errno;
      replacement.keptAs.clear();
    } else {
      replacement.done = true;
    }
    break;
  }
  if (replacement.done) {
    temporary_.clear();
  } else if (replacement.refused) {
    replacement.error = EBUSY;
  }
  Discard();
  return replacement;
}

FileReplacement ParameterFileWriter::CommitAsCopy() {
  FileReplacement replacement;
  if (FlushAndCheck(replacement)) {
    if (ClaimNumberedName(target_, replacement.keptAs, [this](const std::string& name) {
          return MoveIntoFreePlace(temporary_.c_str(), name.c_str());
        })) {
      replacement.done = true;
      temporary_.clear();
    } else {
      replacement.error = errno;
    }
  }
  Discard();
  return replacement;
}

void ParameterFileWriter::Discard() {
  if (!temporary_.empty()) {
    // Removed while still locked, so that no other run takes it for a leftover.
    std::error_code ignored;
    fs::remove(temporary_, ignored);
    temporary_.clear();
  }
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

}  // namespace rv4410
