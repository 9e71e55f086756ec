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

}  // namespace rv4410
