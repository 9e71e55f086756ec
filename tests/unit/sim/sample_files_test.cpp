// The sample files rv4410-sim writes pass the loader's own readers and checks,
// on any day of the year.

#include "sim/sample_files.h"

#include <gtest/gtest.h>

#include "datafiles/map_file.h"
#include "datafiles/program_file.h"
#include "sim/identification.h"
#include "support/image_builders.h"
#include "support/image_bytes.h"
#include "support/virtual_unit_fixture.h"

namespace rv4410::test {
namespace {

struct Day {
  int year;
  int dayOfYear;
};

class SampleFilesTest : public VirtualUnitTest, public ::testing::WithParamInterface<Day> {
 protected:
  DataFiles files;
};

TEST_P(SampleFilesTest, SamplesPassTheLoadersReadersWithoutADateWarning) {
  std::time_t now = LocalNoon(GetParam().year, GetParam().dayOfYear);
  host.SetWallClock(now);
  std::string error;
  ASSERT_TRUE(sim::WriteSamples(dir.Path(), now, error)) << error;

  std::string program = dir.File(sim::kSampleProgramName);
  ASSERT_EQ(ReadProgramFile(host, files.loadedImage, program.c_str()).length,
            static_cast<int>(sim::kSampleProgramBytes));
  EXPECT_FALSE(CheckProgramImage(files.loadedImage, program.c_str()));
  EXPECT_EQ(ImageBytes(files.loadedImage), sim::SampleProgramImage());
  // A larger sample, for longer uploads, passes the same checks.
  const std::size_t larger = sim::kSampleControlBlockBytes + 256 * 1024;
  ASSERT_TRUE(sim::WriteSamples(dir.Path(), now, error, larger)) << error;
  ASSERT_EQ(ReadProgramFile(host, files.loadedImage, program.c_str()).length,
            static_cast<int>(larger));
  EXPECT_FALSE(CheckProgramImage(files.loadedImage, program.c_str()));
  EXPECT_EQ(ImageBytes(files.loadedImage), sim::SampleProgramImage(larger));

  std::string map = dir.File(sim::kSampleMapName);
  ASSERT_EQ(MapFileReader(host, files, map.c_str()).Read().length,
            static_cast<int>(sim::kSampleMapDataBytes));
  // Only the validity box: today lies inside the period.
  EXPECT_TRUE(MapDatesFor(files.mapHeader, now).warnings.empty());
  // The default simulated unit takes it: a feature bit in common, room enough.
  sim::IdentificationKnobs unit;
  EXPECT_NE(files.mapHeader.FeatureMask() & unit.featureFlags, 0u);
  EXPECT_LE(files.mapHeader.DataLength(), unit.mapAreaEnd - unit.mapAreaStart);
}

INSTANTIATE_TEST_SUITE_P(AroundTheYear, SampleFilesTest,
                         ::testing::Values(Day{2026, 1}, Day{2026, 340}, Day{2027, 365},
                                           Day{2028, 60}, Day{2078, 300}));

TEST(SampleFilesNamesTest, MatchTheLoadersDefaultPatterns) {
  std::string program = sim::kSampleProgramName;
  std::string map = sim::kSampleMapName;
  EXPECT_EQ(program.rfind("RV4410", 0), 0u);
  EXPECT_EQ(program.substr(program.size() - 4), ".hex");
  EXPECT_EQ(map.substr(map.size() - 4), ".bin");
}

}  // namespace
}  // namespace rv4410::test
