#pragma once
// Builders for the data files the tests read: program images (both checksum
// layouts) as hex text, and map database files with chosen dates and lengths.
// Their CRCs come from the simulator's bitwise CRC, not the loader's tables.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "sim/data_file_encoding.h"

namespace rv4410::test {

using Bytes = std::vector<std::uint8_t>;

// The encoders live with the simulator, which writes sample files with them.
using sim::BuildMapFile;
using sim::BuildProgramImage;
using sim::ChecksumLayout;
using sim::GetBig32;
using sim::HexText;
using sim::kMapControlBlockAt;
using sim::kMapDataAt;
using sim::PatternBytes;
using sim::PutBig32;
using sim::PutLittle32;
using sim::ResealMapFile;
using sim::SealControlBlock;
using ProgramImagePlan = sim::ProgramImagePlan;
using MapFilePlan = sim::MapFilePlan;

// The system's CRC (start all ones, no final inversion) over `bytes`.
std::uint32_t ReferenceCrc(const std::uint8_t* bytes, std::size_t count);

std::string AsString(const Bytes& bytes);

// Noon, local time, on day `dayOfYear` (from 1) of `year`.
std::time_t LocalNoon(int year, int dayOfYear);

}  // namespace rv4410::test
