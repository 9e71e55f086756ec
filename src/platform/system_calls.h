#pragma once
// The few C library calls that differ between Windows and the POSIX systems,
// kept here so that the logic above holds no platform conditionals.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>

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

}  // namespace rv4410
