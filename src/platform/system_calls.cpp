#include "platform/system_calls.h"

#include <cerrno>
#include <string>

#if defined(_WIN32)
#include <io.h>
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
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

}  // namespace rv4410
