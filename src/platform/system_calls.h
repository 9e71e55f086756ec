#pragma once
// The few C library calls that differ between Windows and the POSIX systems,
// kept here so that the logic above holds no platform conditionals.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace rv4410 {

// The local broken-down time of `when`.
std::tm LocalTime(std::time_t when);

// Bytes from the stream's position to its end, when the stream can seek (a
// file); nothing for a pipe or a stream that cannot tell. The position is kept.
std::optional<std::uint64_t> RemainingBytes(std::FILE* stream);

// A hint that `buffer` is about to be filled front to back: where the system
// offers large pages, use them (one page fault per 2 MiB instead of per 4 KiB).
void AdviseSequentialFill(void* buffer, std::size_t size);

// Writes the stream's buffered bytes and asks the system to put them on the
// disk itself, so that a file renamed into place afterwards survives a power
// loss. False (errno set) when either step fails.
bool FlushToDisk(std::FILE* stream);

// Puts the file `from` in the place of `to` in one step: a reader sees the old
// file or the new one, never a mix or none; an existing `to` is replaced.
// Both lie in the same folder. False (errno set) when nothing was changed.
bool MoveIntoPlace(const char* from, const char* to);

// Gives the file `existing` the further name `added` in one step, without
// copying it; fails (errno EEXIST) rather than replace anything at `added`.
// Other failures (a file system without links) leave everything as it was.
// The new name reaches the disk with the folder's next flush (MoveIntoPlace).
bool AddFileName(const char* existing, const char* added);
// One entry of a wildcard search, with its creation time in nanoseconds since
// 1970. Where the file system records no birth time, the time stands for the
// nearest equivalent the system reports (the status-change time on POSIX).
struct DirectoryEntry {
  std::string name;
  std::int64_t creationTimeNs = 0;
};

// The entries of `directory` whose names match the wildcard `pattern` ("*" and
// "?", letters matched without regard to case, as the Windows search does), in
// the order the system lists them; every entry counts, whatever its kind or
// attributes. Empty when nothing matches or the directory cannot be read.
std::vector<DirectoryEntry> ListMatchingEntries(const std::string& directory,
                                                const std::string& pattern);

// Whether a later replace of `path` by a complete new file can succeed, proved
// without changing anything: an existing file must be a regular file that opens
// for writing (opened for appending, nothing written); for an absent one the
// folder must take a new file (one of the loader's own, created and removed),
// so nothing is left behind and nothing at `path` is touched. False with errno
// set.
bool ProveFileWritable(const std::string& path);

// Whether `path` is a regular file that opens for reading; never blocks (a
// FIFO is refused, not waited on). False with errno set.
bool ProveFileReadable(const std::string& path);

// Files that several runs of the loader write at once (two scripts, two
// technicians on one share) are guarded by exclusive advisory locks (flock on
// POSIX, LockFileEx on Windows): a run that asks for one that another holds
// is told so at once; programs that do not ask are not stopped.

// How many characters CreateOwnFile adds to a name: hexadecimal digits.
inline constexpr std::size_t kUniqueSuffixLength = 8;

// A new file of our own, "<prefix>" followed by kUniqueSuffixLength
// hexadecimal digits that make the name unique: created here and now (it never existed before;
// O_EXCL), open for writing and reading, and locked for as long as it stays open, so that a run
// that finds it can tell a live writer's file from one a crash left behind.
// nullptr (errno set) when it cannot be made.
std::FILE* CreateOwnFile(const std::string& prefix, std::string& path);

// How one try for a file's lock ended.
enum class LockTry {
  kLocked,  // held now, and the path still names the locked file
  kHeld,    // another open file holds it
  kGone,    // nothing at the path
  kFailed,  // the file could not be opened or locked (errno set)
};

// A file held under an exclusive advisory lock until Release or destruction.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens `path` and tries once, without waiting, to lock it. A file renamed
  // into its place meanwhile is not the one locked: kLocked only when the
  // path still names it once the lock is held.
  LockTry TryLock(const std::string& path);
  // Locks what `path` names so that a new file can be renamed over it while
  // the lock is held: on POSIX the file itself, as TryLock. Windows renames
  // over no file that any handle holds open, so there the lock is taken on
  // `guard` (created if need be, held open by this run alone and removed
  // when released, also by a crash) and `path` is only looked at: kGone, with
  // the guard held, when nothing is there.
  LockTry TryLockName(const std::string& path, const std::string& guard);
  bool Held() const { return handle_ != kNoHandle; }
  void Release();

 private:
  static constexpr std::intptr_t kNoHandle = -1;
  std::intptr_t handle_ = kNoHandle;
};

// Whether the open `stream` is still the file that `path` names (no other
// file was renamed into its place, and it was not removed).
bool IsFileAt(std::FILE* stream, const std::string& path);

// Removes the file `path`, the removal on the disk before it returns. True
// also when there was nothing to remove.
bool RemoveDurably(const std::string& path);

// Puts the file `from` at `to` only when nothing is there yet, in one step:
// afterwards `to` names the file and `from` is gone. Fails (errno EEXIST)
// rather than replace anything. On the disk, as MoveIntoPlace.
bool MoveIntoFreePlace(const char* from, const char* to);
// Opens `path` for reading with the stdio `mode` ("r", "rb") only when it is
// a regular file: anything else (a FIFO, a device such as /dev/zero, a
// folder) is refused before it is opened, so nothing waits on it or reads it
// for ever. Null with errno set; `notRegular` tells that refusal apart.
std::FILE* OpenRegularFile(const char* path, const char* mode, bool& notRegular);

// The longest path, in bytes, that the system's file calls take.
std::size_t MaxPathLength();

// The longest name, in bytes, that one entry of `folder` may have.
std::size_t MaxNameLength(const std::string& folder);

// A file that outgrows the process's file-size limit (ulimit -f) fails its
// write with EFBIG, as a full disk fails with ENOSPC, instead of ending the
// process by a signal that leaves its temporary file behind.
void TreatFileSizeLimitAsWriteError();

}  // namespace rv4410
