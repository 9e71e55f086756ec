#pragma once
// Sample input files for people and tests (rv4410-sim --write-samples): a
// program file that passes the loader's checks and a map database file valid
// from a month before to a year after the day it is written. The map suits
// the simulated unit's default identification (feature bit 0, map memory).

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace rv4410::sim {

inline constexpr const char* kSampleProgramName = "RV4410_sample.hex";
inline constexpr const char* kSampleMapName = "RV4410_sample.bin";
// The control block and the program after it.
inline constexpr std::size_t kSampleControlBlockBytes = 256;
inline constexpr int kSampleProgramKib = 64;
inline constexpr std::size_t kSampleProgramBytes =
    kSampleControlBlockBytes + kSampleProgramKib * 1024;
// The largest sample program that --sample-program-kib asks for.
inline constexpr int kSampleProgramMaxKib = 16 * 1024;
inline constexpr std::size_t kSampleMapDataBytes = 16 * 1024;
inline constexpr int kSampleDaysValidBefore = 30;
inline constexpr int kSampleDaysValidAfter = 365;

// The local day of `when` as the map file dates it: two-digit year times
// 1000 plus the day of the year from 1.
std::int32_t MapOrdinalDate(std::time_t when);

// The control block and `bytes` in all (kSampleProgramBytes by default).
std::vector<std::uint8_t> SampleProgramImage(std::size_t bytes = kSampleProgramBytes);
std::vector<std::uint8_t> SampleMapFile(std::time_t now);

// Writes both samples into `dir` (each replaced in one step); false with
// `error` saying why.
bool WriteSamples(const std::string& dir, std::time_t now, std::string& error,
                  std::size_t programBytes = kSampleProgramBytes);

}  // namespace rv4410::sim
