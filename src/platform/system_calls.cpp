#include "platform/system_calls.h"

#include <cerrno>
#include <chrono>
#include <random>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include "platform/windows_api.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <limits.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace rv4410 {

namespace {

// The name length nearly every file system takes (ext4, NTFS, FAT's long names).
constexpr std::size_t kCommonNameMax = 255;

}  // namespace

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
  // Another run may put its file in place or move it aside between two
  // looks: each such change is looked at again, a few times at most.
  for (int look = 0; look < 3; ++look) {
    struct _stat64 status;
    if (_stat64(path.c_str(), &status) == 0) {
      if ((status.st_mode & _S_IFREG) == 0) {
        errno = EISDIR;
        return false;
      }
      int fd = _open(path.c_str(), _O_WRONLY | _O_APPEND | _O_BINARY);
      if (fd >= 0) {
        _close(fd);
        return _access(FolderOf(path).c_str(), 2) == 0;
      }
      if (errno != ENOENT) return false;
      continue;
    }
    if (errno != ENOENT) return false;
    // Removed by its own close, never by name: a name removed later could
    // by then hold another run's file.
    int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_TEMPORARY,
                   _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      _close(fd);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
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

std::size_t MaxNameLength(const std::string&) {
  return kCommonNameMax;
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
    if (fd >= 0) {
      close(fd);
      // The replace writes a new file beside it and renames it over the old one.
      return access(FolderOf(path).c_str(), W_OK | X_OK) == 0;
    }
    // Moved aside by another run since the first look: as good as absent.
    if (errno != ENOENT) return false;
  } else if (errno != ENOENT) {
    return false;
  }
  std::string folder = FolderOf(path);
  std::size_t slash = path.find_last_of('/');
  std::size_t nameLength = slash == std::string::npos ? path.size() : path.size() - slash - 1;
  if (nameLength > MaxNameLength(folder)) {
    errno = ENAMETOOLONG;
    return false;
  }
  // The folder proves it takes a new file under a name of the loader's own,
  // never under `path`: a file created and removed there could by the removal
  // have become another run's list, put in place meanwhile.
  std::string probe;
  std::FILE* file = CreateOwnFile(folder + "/.rv4410-probe-", probe);
  if (file == nullptr) return false;
  std::fclose(file);
  std::remove(probe.c_str());
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

std::size_t MaxNameLength(const std::string& folder) {
  long max = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return max > 0 ? static_cast<std::size_t>(max) : kCommonNameMax;
}

void TreatFileSizeLimitAsWriteError() {
  signal(SIGXFSZ, SIG_IGN);
}

#endif

namespace {

// Eight hexadecimal digits that no other run picks at the same moment: a
// generator seeded from the system's entropy, the time and the process.
std::string UniqueSuffix() {
  static std::mt19937_64 generator = [] {
    std::random_device entropy;
    std::seed_seq seed{
        entropy(), entropy(),
        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()),
        static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count())};
    return std::mt19937_64(seed);
  }();
  char text[12];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(generator()));
  return text;
}

// A new name is tried this often before the folder is taken to refuse new files.
constexpr int kNameTries = 64;

}  // namespace

#if defined(_WIN32)

namespace {

// A lock on a range far beyond any file's end: it guards the name, and the
// bytes stay free to read and write for everyone.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

bool LockHandle(HANDLE handle) {
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  return LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

bool SameFile(HANDLE handle, const std::string& path) {
  HANDLE other =
      CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION a;
  BY_HANDLE_FILE_INFORMATION b;
  bool same = GetFileInformationByHandle(handle, &a) && GetFileInformationByHandle(other, &b) &&
              a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
              a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  CloseHandle(other);
  return same;
}

}  // namespace

namespace {

// One try at a new file of our own at `name`: the file, locked; or nullptr
// with `again` set when another name should be tried, or with errno set.
// Opened with delete sharing, so that it can be renamed into place while
// open and locked, as on POSIX; the C library's open cannot ask for that.
std::FILE* TryOwnFile(const std::string& name, bool& again) {
  HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    again = errno == EEXIST;
    return nullptr;
  }
  if (!LockHandle(handle) || !SameFile(handle, name)) {
    CloseHandle(handle);
    again = true;
    return nullptr;
  }
  int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDWR | _O_BINARY);
  if (fd < 0) {
    CloseHandle(handle);
    DeleteFileA(name.c_str());
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "w+b");
  if (file == nullptr) {
    _close(fd);
    DeleteFileA(name.c_str());
  }
  return file;
}

}  // namespace

LockTry FileLock::TryLock(const std::string& path) {
  Release();
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetErrnoFromLastError();
    return errno == ENOENT ? LockTry::kGone : LockTry::kFailed;
  }
  if (!LockHandle(handle)) {
    CloseHandle(handle);
    return LockTry::kHeld;
  }
  if (!SameFile(handle, path)) {
    CloseHandle(handle);
    return LockTry::kHeld;
  }
  handle_ = reinterpret_cast<std::intptr_t>(handle);
  return LockTry::kLocked;
}

LockTry FileLock::TryLockName(const std::string& path, const std::string& guard) {
  Release();
  // No sharing: a second run's open fails while this handle lives. Deleted
  // on close, so a run that dies leaves no guard behind.
  HANDLE handle = CreateFileA(guard.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    // Open elsewhere, or still being removed by the run that held it.
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) return LockTry::kHeld;
    SetErrnoFromLastError();
    return LockTry::kFailed;
  }
  handle_ = reinterpret_cast<std::intptr_t>(handle);
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return LockTry::kLocked;
  SetErrnoFromLastError();
  if (errno == ENOENT) return LockTry::kGone;
  Release();
  return LockTry::kFailed;
}

void FileLock::Release() {
  if (handle_ == kNoHandle) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
}

bool IsFileAt(std::FILE* stream, const std::string& path) {
  return SameFile(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), path);
}

bool MoveIntoFreePlace(const char* from, const char* to) {
  if (MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH)) return true;
  SetErrnoFromLastError();
  return false;
}

bool RemoveDurably(const std::string& path) {
  if (DeleteFileA(path.c_str())) return true;
  SetErrnoFromLastError();
  return errno == ENOENT;
}

#else

namespace {

bool SameFile(int fd, const std::string& path) {
  struct stat open;
  struct stat named;
  return fstat(fd, &open) == 0 && stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

// A file system without advisory locks gives no way to ask: no other run can
// hold such a lock there either, so the file counts as locked.
bool LockUnsupported(int error) {
  return error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL;
}

enum class Locking { kLocked, kHeld, kFailed };

Locking LockNow(int fd) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return Locking::kLocked;
  if (errno == EWOULDBLOCK) return Locking::kHeld;
  return LockUnsupported(errno) ? Locking::kLocked : Locking::kFailed;
}

std::FILE* TryOwnFile(const std::string& name, bool& again) {
  int fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) {
    again = errno == EEXIST;
    return nullptr;
  }
  // Another run may take a file that is not locked yet for one a crash
  // left, and remove it: then the name no longer names this file.
  Locking locking = LockNow(fd);
  if (locking != Locking::kFailed && (locking == Locking::kHeld || !SameFile(fd, name))) {
    close(fd);
    again = true;
    return nullptr;
  }
  std::FILE* file = locking == Locking::kFailed ? nullptr : fdopen(fd, "w+b");
  if (file == nullptr) {
    int error = errno;
    close(fd);
    unlink(name.c_str());
    errno = error;
  }
  return file;
}

}  // namespace

LockTry FileLock::TryLock(const std::string& path) {
  Release();
  // Non-blocking: opening something that is no regular file never waits.
  int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? LockTry::kGone : LockTry::kFailed;
  Locking locking = LockNow(fd);
  if (locking != Locking::kLocked) {
    int error = errno;
    close(fd);
    errno = error;
    return locking == Locking::kHeld ? LockTry::kHeld : LockTry::kFailed;
  }
  // Locked, but a new file may have taken the name meanwhile: then the lock
  // guards nothing, and the caller tries the new one.
  if (!SameFile(fd, path)) {
    close(fd);
    return LockTry::kHeld;
  }
  handle_ = fd;
  return LockTry::kLocked;
}

LockTry FileLock::TryLockName(const std::string& path, const std::string&) {
  return TryLock(path);
}

void FileLock::Release() {
  if (handle_ == kNoHandle) return;
  close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

bool IsFileAt(std::FILE* stream, const std::string& path) {
  return SameFile(fileno(stream), path);
}

bool RemoveDurably(const std::string& path) {
  if (unlink(path.c_str()) != 0) return errno == ENOENT;
  FlushFolderOf(path.c_str());
  return true;
}

bool MoveIntoFreePlace(const char* from, const char* to) {
  if (link(from, to) == 0) {
    unlink(from);
    FlushFolderOf(to);
    return true;
  }
  if (errno == EEXIST) return false;
  // A file system without links: an empty file of our own takes the name
  // first, locked so that no other run takes it for its own; the rename then
  // replaces it.
  FileLock placeholder;
  int fd = open(to, O_RDONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  close(fd);
  if (placeholder.TryLock(to) != LockTry::kLocked) {
    errno = EEXIST;
    return false;
  }
  return MoveIntoPlace(from, to);
}

#endif

std::FILE* CreateOwnFile(const std::string& prefix, std::string& path) {
  for (int i = 0; i < kNameTries; ++i) {
    std::string name = prefix + UniqueSuffix();
    bool again = false;
    if (std::FILE* file = TryOwnFile(name, again)) {
      path = name;
      return file;
    }
    if (!again) return nullptr;
  }
  errno = EEXIST;
  return nullptr;
}

}  // namespace rv4410
