#include "sim/sample_files.h"

#include <cerrno>
#include <cstring>

#include "platform/system_calls.h"
#include "sim/data_file_encoding.h"
#include "sim/flash_load.h"

namespace rv4410::sim {

namespace {

constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;
constexpr std::uint32_t kSampleFeatureMask = 0x1;
// The seven address words of the map control block, relative to the map base.
constexpr std::size_t kMapAddressWords = 7;
constexpr std::uint32_t kMapAddressStep = 0x1000;

std::vector<std::uint8_t> AsBytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace

std::int32_t MapOrdinalDate(std::time_t when) {
  std::tm local = LocalTime(when);
  return (local.tm_year % 100) * 1000 + local.tm_yday + 1;
}

std::vector<std::uint8_t> SampleProgramImage(std::size_t bytes) {
  ProgramImagePlan plan;
  plan.length = bytes;
  plan.seed = 4410;
  return BuildProgramImage(plan);
}

std::vector<std::uint8_t> SampleMapFile(std::time_t now) {
  MapFilePlan plan;
  plan.effectiveDate = MapOrdinalDate(now - kSampleDaysValidBefore * kSecondsPerDay);
  plan.expirationDate = MapOrdinalDate(now + kSampleDaysValidAfter * kSecondsPerDay);
  plan.featureMask = kSampleFeatureMask;
  plan.data = PatternBytes(kSampleMapDataBytes, 4411);
  std::vector<std::uint8_t> file = BuildMapFile(plan);
  for (std::size_t i = 0; i < kMapAddressWords; ++i) {
    PutBig32(file, kMapControlBlockAt + 8 * i, static_cast<std::uint32_t>(i) * kMapAddressStep);
  }
  ResealMapFile(file);
  return file;
}

bool WriteSamples(const std::string& dir, std::time_t now, std::string& error,
                  std::size_t programBytes) {
  std::string program = dir + "/" + kSampleProgramName;
  std::string map = dir + "/" + kSampleMapName;
  if (!SaveFile(program, AsBytes(HexText(SampleProgramImage(programBytes))))) {
    error = "cannot write " + program + ": " + std::strerror(errno);
    return false;
  }
  if (!SaveFile(map, SampleMapFile(now))) {
    error = "cannot write " + map + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace rv4410::sim
