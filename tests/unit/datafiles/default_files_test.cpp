// The file names the setup page proposes: the newest program and map files
// by creation time and a fresh configuration file name.

#include "datafiles/default_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/virtual_unit_fixture.h"

namespace rv4410 {
namespace {

std::int64_t CreationTime(const test::TempDir& dir, const std::string& name) {
  for (const DirectoryEntry& entry : ListMatchingEntries(dir.Path(), name)) {
    if (entry.name == name) return entry.creationTimeNs;
  }
  ADD_FAILURE() << name << " is not listed";
  return 0;
}

// Creates `name` in `dir` with a creation time later than `after`'s. The
// system's clock for file times is coarse: try again a little later.
void CreateLaterThan(const test::TempDir& dir, const std::string& name, const std::string& after,
                     bool folder = false) {
  std::int64_t earlier = CreationTime(dir, after);
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (folder) {
      std::filesystem::create_directory(dir.File(name));
    } else {
      test::WriteFile(dir.File(name), "x");
    }
    if (CreationTime(dir, name) > earlier) return;
    std::filesystem::remove(dir.File(name));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  FAIL() << "no later creation time for " << name;
}

TEST(SelectNewestTest, LaterCreationWinsWhateverTheNamesAndTiesKeepTheFirstListed) {
  EXPECT_EQ(SelectNewest({{"RV4410B.hex", 100}, {"RV4410A.hex", 200}}), "RV4410A.hex");
  EXPECT_EQ(SelectNewest({{"RV4410A.hex", 200}, {"RV4410B.hex", 100}}), "RV4410A.hex");
  EXPECT_EQ(SelectNewest({{"second.bin", 300}, {"first.bin", 300}, {"old.bin", 10}}), "second.bin");
  EXPECT_EQ(SelectNewest({{"old.bin", 10}, {"tie1.bin", 300}, {"tie2.bin", 300}}), "tie1.bin");
  EXPECT_EQ(SelectNewest({}), "");
}

class DefaultFilesTest : public test::VirtualUnitTest {};

TEST_F(DefaultFilesTest, NewestProgramAndMapFilesByCreationTimeNotByName) {
  test::WriteFile(dir.File("RV4410B.hex"), "x");
  CreateLaterThan(dir, "RV4410A.hex", "RV4410B.hex");
  // Names that do not match the pattern never count, however new.
  CreateLaterThan(dir, "other.hex", "RV4410A.hex");
  EXPECT_EQ(FindNewestFile(kProgramFilePattern, dir.Path()), "RV4410A.hex");

  test::WriteFile(dir.File("new.bin"), "x");
  CreateLaterThan(dir, "newer.bin", "new.bin");
  EXPECT_EQ(FindNewestFile(kMapFilePattern, dir.Path()), "newer.bin");
}

TEST_F(DefaultFilesTest, MatchesAsTheWindowsSearchDoesAndCountsEveryKindOfEntry) {
  // Letters match without regard to case; a folder matching the pattern counts too.
  test::WriteFile(dir.File("maps.bin"), "x");
  CreateLaterThan(dir, "rv4410c.HEX", "maps.bin");
  EXPECT_EQ(FindNewestFile(kProgramFilePattern, dir.Path()), "rv4410c.HEX");
  CreateLaterThan(dir, "folder.bin", "maps.bin", true);
  EXPECT_EQ(FindNewestFile(kMapFilePattern, dir.Path()), "folder.bin");
}

TEST_F(DefaultFilesTest, NoMatchGivesAnEmptyName) {
  test::WriteFile(dir.File("RV4410.txt"), "x");
  EXPECT_EQ(FindNewestFile(kProgramFilePattern, dir.Path()), "");
  EXPECT_EQ(FindNewestFile(kMapFilePattern, dir.Path()), "");
  EXPECT_EQ(FindNewestFile(kMapFilePattern, dir.File("no-such-folder")), "");
}

TEST_F(DefaultFilesTest, ConfigFileNameCarriesTheSecondsSince1970) {
  EXPECT_EQ(DefaultConfigFileName(975000000), "RV4410_Param_975000000.dat");
}

}  // namespace
}  // namespace rv4410
