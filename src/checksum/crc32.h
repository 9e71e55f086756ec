#pragma once
// The CRC used for every check in the system: the reflected CRC-32 table
// (polynomial 0xEDB88320), start 0xFFFFFFFF, and no final inversion. Over
// "123456789" it gives 0x340BC6D9.

#include <cstddef>
#include <cstdint>

namespace rv4410 {

inline constexpr std::uint32_t kCrc32Start = 0xFFFFFFFFu;

void Crc32Init(std::uint32_t& crc);
void Crc32Update(std::uint32_t& crc, std::uint8_t byte);
// Advances over `count` bytes in order; a count of 0 or less does nothing.
void Crc32UpdateBytes(std::uint32_t& crc, const std::uint8_t* bytes, long count);
// Advances over `count` zero bytes, in steps that grow with the logarithm of
// the count: a run of a gigabyte costs no more than a few hundred bytes would.
void Crc32UpdateZeros(std::uint32_t& crc, std::uint64_t count);
// Entry n of the table.
std::uint32_t Crc32TableEntry(std::uint8_t n);

}  // namespace rv4410
