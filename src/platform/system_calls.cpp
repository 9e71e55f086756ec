#include "platform/system_calls.h"

#include <cerrno>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace rv4410 {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &when);
#else
  localtime_r(&when, &local);
#endif
  return local;
}

std::optional<std::uint64_t> RemainingBytes(std::FILE* stream) {
#if defined(_WIN32)
  std::int64_t here = _ftelli64(stream);
  if (here < 0 || _fseeki64(stream, 0, SEEK_END) != 0) return std::nullopt;
  std::int64_t end = _ftelli64(stream);
  if (_fseeki64(stream, here, SEEK_SET) != 0) return std::nullopt;
#else
  off_t here = ftello(stream);
  if (here < 0 || fseeko(stream, 0, SEEK_END) != 0) return std::nullopt;
  off_t end = ftello(stream);
  if (fseeko(stream, here, SEEK_SET) != 0) return std::nullopt;
#endif
  if (end < here) return 0;
  return static_cast<std::uint64_t>(end - here);
}

void AdviseSequentialFill(void* buffer, std::size_t size) {
#if defined(MADV_HUGEPAGE)
  constexpr std::size_t kLargePage = 2u << 20;
  if (size < 2 * kLargePage) return;
  auto address = reinterpret_cast<std::uintptr_t>(buffer);
  std::uintptr_t start = (address + kLargePage - 1) & ~(kLargePage - 1);
  std::uintptr_t end = (address + size) & ~(kLargePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)buffer;
  (void)size;
#endif
}

bool FlushToDisk(std::FILE* stream) {
  if (std::fflush(stream) != 0) return false;
#if defined(_WIN32)
  return _commit(_fileno(stream)) == 0;
#else
  return fsync(fileno(stream)) == 0;
#endif
}

#if defined(_WIN32)

namespace {

// Windows reports its own error codes; the callers read errno.
void SetErrnoFromLastError() {
  DWORD error = GetLastError();
  errno = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS      ? EEXIST
          : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
          : error == ERROR_ACCESS_DENIED                                   ? EACCES
          : error == ERROR_DISK_FULL                                       ? ENOSPC
                                                                           : EIO;
}

}  // namespace

bool MoveIntoPlace(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  SetErrnoFromLastError();
  return false;
}

bool AddFileName(const char* existing, const char* added) {
  if (CreateHardLinkA(added, existing, nullptr)) return true;
  SetErrnoFromLastError();
  return false;
}

#else

namespace {

// A rename is on the disk only once its folder is: flush the folder too.
void FlushFolderOf(const char* path) {
  std::string folder(path);
  std::size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool MoveIntoPlace(const char* from, const char* to) {
  if (std::rename(from, to) != 0) return false;
  FlushFolderOf(to);
  return true;
}

// The folder is flushed by the MoveIntoPlace that follows in the same folder.
bool AddFileName(const char* existing, const char* added) {
  return link(existing, added) == 0;
}

#endif

namespace {

// The folder part of `path`, "." for a bare name.
std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  if (slash == 0) return path.substr(0, 1);
  return path.substr(0, slash);
}

}  // namespace

#if defined(_WIN32)

std::vector<DirectoryEntry> ListMatchingEntries(const std::string& directory,
                                                const std::string& pattern) {
  std::vector<DirectoryEntry> entries;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((directory + "\\" + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    // FILETIME counts 100 ns from 1601; 11644473600 s lie between 1601 and 1970.
    std::int64_t ticks = (static_cast<std::int64_t>(found.ftCreationTime.dwHighDateTime) << 32) |
                         found.ftCreationTime.dwLowDateTime;
    entries.push_back({found.cFileName, (ticks - 116444736000000000LL) * 100});
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return entries;
}

bool ProveFileWritable(const std::string& path) {
  struct _stat64 status;
  if (_stat64(path.c_str(), &status) == 0) {
    if ((status.st_mode & _S_IFREG) == 0) {
      errno = EISDIR;
      return false;
    }
    int fd = _open(path.c_str(), _O_WRONLY | _O_APPEND | _O_BINARY);
    if (fd < 0) return false;
    _close(fd);
    return _access(FolderOf(path).c_str(), 2) == 0;
  }
  if (errno != ENOENT) return false;
  int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return false;
  _close(fd);
  _unlink(path.c_str());
  return true;
}

bool ProveFileReadable(const std::string& path) {
  struct _stat64 status;
  if (_stat64(path.c_str(), &status) != 0) return false;
  if ((status.st_mode & _S_IFREG) == 0) {
    errno = EISDIR;
    return false;
  }
  int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) return false;
  _close(fd);
  return true;
}

std::FILE* OpenRegularFile(const char* path, const char* mode, bool& notRegular) {
  notRegular = false;
  struct _stat64 status;
  if (_stat64(path, &status) != 0) return nullptr;
  if ((status.st_mode & _S_IFREG) == 0) {
    notRegular = true;
    errno = EISDIR;
    return nullptr;
  }
  return std::fopen(path, mode);
}

std::size_t MaxPathLength() {
  // The ANSI file calls take MAX_PATH characters with the terminator.
  return MAX_PATH - 1;
}

// Windows has no file-size signal: a write beyond a quota fails as it is.
void TreatFileSizeLimitAsWriteError() {}

#else

namespace {

std::int64_t Nanoseconds(std::int64_t seconds, std::int64_t nanoseconds) {
  return seconds * 1'000'000'000 + nanoseconds;
}

// The birth time where the file system records one (statx's STATX_BTIME);
// otherwise the status-change time, the nearest equivalent POSIX reports: it
// is set at creation and moves only when the entry's metadata changes.
std::int64_t CreationTimeNs(int directoryFd, const char* name) {
#if defined(STATX_BTIME)
  struct statx extended;
  if (statx(directoryFd, name, AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_CTIME, &extended) == 0) {
    if ((extended.stx_mask & STATX_BTIME) != 0) {
      return Nanoseconds(extended.stx_btime.tv_sec, extended.stx_btime.tv_nsec);
    }
    return Nanoseconds(extended.stx_ctime.tv_sec, extended.stx_ctime.tv_nsec);
  }
#endif
  struct stat status;
  if (fstatat(directoryFd, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return 0;
  return Nanoseconds(status.st_ctim.tv_sec, status.st_ctim.tv_nsec);
}

// A file whose status shows it regular; anything else is refused before it is
// opened, so that a FIFO or a device is never waited on or woken.
bool IsRegularFile(const struct stat& status) {
  if (S_ISREG(status.st_mode)) return true;
  errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
  return false;
}

}  // namespace

std::vector<DirectoryEntry> ListMatchingEntries(const std::string& directory,
                                                const std::string& pattern) {
  std::vector<DirectoryEntry> entries;
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return entries;
  while (const dirent* entry = readdir(listing)) {
    if (fnmatch(pattern.c_str(), entry->d_name, FNM_CASEFOLD) != 0) continue;
    entries.push_back({entry->d_name, CreationTimeNs(dirfd(listing), entry->d_name)});
  }
  closedir(listing);
  return entries;
}

bool ProveFileWritable(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) == 0) {
    if (!IsRegularFile(status)) return false;
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    // The replace writes a new file beside it and renames it over the old one.
    return access(FolderOf(path).c_str(), W_OK | X_OK) == 0;
  }
  if (errno != ENOENT) return false;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  close(fd);
  unlink(path.c_str());
  return true;
}

bool ProveFileReadable(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !IsRegularFile(status)) return false;
  int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::FILE* OpenRegularFile(const char* path, const char* mode, bool& notRegular) {
  notRegular = false;
  struct stat status;
  if (stat(path, &status) != 0) return nullptr;
  if (!IsRegularFile(status)) {
    notRegular = true;
    return nullptr;
  }
  // Something else may take the name between the look and the open: opened
  // without waiting, and looked at again. (On a regular file O_NONBLOCK
  // changes nothing, so it may stay.)
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  bool looked = fstat(fd, &status) == 0;
  if (!looked || !IsRegularFile(status)) {
    int error = errno;
    notRegular = looked;
    close(fd);
    errno = error;
    return nullptr;
  }
  std::FILE* file = fdopen(fd, mode);
  if (file == nullptr) close(fd);
  return file;
}

std::size_t MaxPathLength() {
  // PATH_MAX counts the terminator.
  return PATH_MAX - 1;
}

void TreatFileSizeLimitAsWriteError() {
  signal(SIGXFSZ, SIG_IGN);
}

#endif

}  // namespace rv4410
