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
// for writing (opened for appending, nothing written); an absent one is created
// and removed again, so no empty file stays behind. False with errno set.
bool ProveFileWritable(const std::string& path);

// Whether `path` is a regular file that opens for reading; never blocks (a
// FIFO is refused, not waited on). False with errno set.
bool ProveFileReadable(const std::string& path);

// Opens `path` for reading with the stdio `mode` ("r", "rb") only when it is
// a regular file: anything else (a FIFO, a device such as /dev/zero, a
// folder) is refused before it is opened, so nothing waits on it or reads it
// for ever. Null with errno set; `notRegular` tells that refusal apart.
std::FILE* OpenRegularFile(const char* path, const char* mode, bool& notRegular);

// The longest path, in bytes, that the system's file calls take.
std::size_t MaxPathLength();

// A file that outgrows the process's file-size limit (ulimit -f) fails its
// write with EFBIG, as a full disk fails with ENOSPC, instead of ending the
// process by a signal that leaves its temporary file behind.
void TreatFileSizeLimitAsWriteError();

}  // namespace rv4410
