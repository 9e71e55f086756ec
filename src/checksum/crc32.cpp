#include "checksum/crc32.h"

#include <array>

namespace rv4410 {

namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

using Table = std::array<std::array<std::uint32_t, 256>, 8>;

// Slicing by eight: table[0] is the classic byte table; table[k] advances a
// byte that stands k places earlier, so eight bytes take one round.
constexpr Table MakeTable() {
  Table table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t value = n;
    for (int bit = 0; bit < 8; ++bit)
      value = (value & 1u) != 0 ? (value >> 1) ^ kPolynomial : value >> 1;
    table[0][n] = value;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::size_t n = 0; n < 256; ++n) {
      std::uint32_t previous = table[k - 1][n];
      table[k][n] = (previous >> 8) ^ table[0][previous & 0xFFu];
    }
  }
  return table;
}

constexpr Table kTable = MakeTable();

}  // namespace

void Crc32Init(std::uint32_t& crc) {
  crc = kCrc32Start;
}

void Crc32Update(std::uint32_t& crc, std::uint8_t byte) {
  crc = (crc >> 8) ^ kTable[0][(crc ^ byte) & 0xFFu];
}

void Crc32UpdateBytes(std::uint32_t& crc, const std::uint8_t* bytes, long count) {
  if (count <= 0) return;
  std::size_t remaining = static_cast<std::size_t>(count);
  std::uint32_t value = crc;
  while (remaining >= 8) {
    std::uint32_t low =
        value ^
        (static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24);
    value = kTable[7][low & 0xFFu] ^ kTable[6][(low >> 8) & 0xFFu] ^
            kTable[5][(low >> 16) & 0xFFu] ^ kTable[4][low >> 24] ^ kTable[3][bytes[4]] ^
            kTable[2][bytes[5]] ^ kTable[1][bytes[6]] ^ kTable[0][bytes[7]];
    bytes += 8;
    remaining -= 8;
  }
  while (remaining-- > 0) value = (value >> 8) ^ kTable[0][(value ^ *bytes++) & 0xFFu];
  crc = value;
}

namespace {

// A zero byte changes the register linearly, so a run of them is a 32x32 bit
// matrix over GF(2): column i is what the run makes of the register bit i.
using ZeroRun = std::array<std::uint32_t, 32>;

std::uint32_t Apply(const ZeroRun& run, std::uint32_t value) {
  std::uint32_t result = 0;
  for (std::size_t i = 0; value != 0; ++i, value >>= 1) {
    if ((value & 1u) != 0) result ^= run[i];
  }
  return result;
}

// The run twice over.
ZeroRun Doubled(const ZeroRun& run) {
  ZeroRun twice{};
  for (std::size_t i = 0; i < 32; ++i) twice[i] = Apply(run, run[i]);
  return twice;
}

}  // namespace

void Crc32UpdateZeros(std::uint32_t& crc, std::uint64_t count) {
  // One zero bit: the register shifts right, the polynomial XOR-ed in when
  // the bit shifted out was 1. Three doublings make one zero byte.
  ZeroRun run{};
  run[0] = kPolynomial;
  for (std::size_t i = 1; i < 32; ++i) run[i] = 1u << (i - 1);
  run = Doubled(Doubled(Doubled(run)));
  // Then one doubling per bit of the count, applying the runs its bits name.
  std::uint32_t value = crc;
  for (; count != 0; count >>= 1) {
    if ((count & 1u) != 0) value = Apply(run, value);
    if (count > 1) run = Doubled(run);
  }
  crc = value;
}

std::uint32_t Crc32TableEntry(std::uint8_t n) {
  return kTable[0][n];
}

}  // namespace rv4410
