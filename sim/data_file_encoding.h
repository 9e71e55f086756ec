#pragma once
// Encoders for the loader's input files, written from their layouts: program
// images (both checksum layouts) as hex text, and map database files with
// chosen dates and lengths. Their CRCs come from the simulator's bitwise CRC,
// not the loader's tables. Used by the sample files and by the tests' builders.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rv4410::sim {

// `count` bytes of a repeatable pseudo-random pattern.
std::vector<std::uint8_t> PatternBytes(std::size_t count, std::uint32_t seed);
void PutBig32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);
std::uint32_t GetBig32(const std::vector<std::uint8_t>& bytes, std::size_t offset);
void PutLittle32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);

enum class ChecksumLayout {
  kNewer,          // program CRC at 244 over 256..N-1
  kOlder,          // program CRC at 212 over 256..E-1, E at 16
  kOlderFallback,  // 212 holds 0xFFFFFFFF; the CRC stands at 224
};

struct ProgramImagePlan {
  ChecksumLayout layout = ChecksumLayout::kNewer;
  std::size_t length = 1024;   // N
  std::uint32_t olderEnd = 0;  // E for the older layouts; 0 means N
  std::uint32_t loaderVersion = 0;
  bool controlBlockCrc = true;
  std::uint32_t seed = 1;
};

// A program image that passes every check (given a loader version of 0).
std::vector<std::uint8_t> BuildProgramImage(const ProgramImagePlan& plan);
// Writes the control-block CRC (over offsets 0 to 250) at 252 again.
void SealControlBlock(std::vector<std::uint8_t>& image);
// The bytes as hex text, upper-case, `perLine` bytes to a line.
std::string HexText(const std::vector<std::uint8_t>& bytes, std::size_t perLine = 32);

struct MapFilePlan {
  std::int32_t effectiveDate = 26001;
  std::int32_t expirationDate = 79365;
  std::uint32_t format = 1;
  std::uint32_t featureMask = 0x5;
  std::vector<std::uint8_t> data;   // the map data, L bytes
  std::size_t furtherBytes = 0;     // between the trailer and the CRC
  bool overrideDataLength = false;  // header L other than data.size()
  std::uint32_t dataLength = 0;
  bool overrideTotalLength = false;  // header T other than the file's length
  std::uint32_t totalLength = 0;
  std::uint32_t seed = 7;
};

// Offsets in a built map file.
inline constexpr std::size_t kMapControlBlockAt = 64;
inline constexpr std::size_t kMapDataAt = 320;

// A complete map file with a correct file CRC (over whatever it holds).
std::vector<std::uint8_t> BuildMapFile(const MapFilePlan& plan);
// Rewrites the trailing CRC after bytes were changed.
void ResealMapFile(std::vector<std::uint8_t>& file);

}  // namespace rv4410::sim
