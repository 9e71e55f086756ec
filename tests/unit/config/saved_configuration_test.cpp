#include "config/saved_configuration.h"

#include <gtest/gtest.h>

#include "config/write_configuration.h"
#include "configuration_fixture.h"

namespace rv4410 {
namespace {

using test::AsFile;
using test::ReadFile;

// What the unit holds before the upload, and what a failed flash write left in it.
const std::vector<std::string> kBefore = {"HDG             0x00000005",
                                          "DG Select       0x00000001"};
const std::vector<std::string> kHalfWritten = {"HDG             0x00000000",
                                               "DG Select       0x00000000"};
const std::vector<std::string> kOtherUnit = {"HDG             0x0000005B",
                                             "DG Select       0x00000002"};

class SavedConfigurationTest : public test::ConfigurationTest {
 protected:
  // The restore, as the program upload runs it: the list, then the unit's answer.
  void Restore() {
    ASSERT_EQ(saved.RestoreAfterUpload(run), kWriteSent);
    host.RunFor(200);
  }

  SavedConfiguration saved;
};

TEST_F(SavedConfigurationTest, RetriedUploadRestoresWhatTheUnitHeldBeforeTheFirstAttempt) {
  StartConfiguredUnit();
  SetUnitLines(kBefore);
  EXPECT_FALSE(saved.HasSaved());

  ASSERT_EQ(saved.SaveBeforeUpload(run), kReadDone);
  EXPECT_EQ(saved.RestorePath(), configPath);

  // "Try again?": the unit now answers with what the failed write left.
  SetUnitLines(kHalfWritten);
  ASSERT_EQ(saved.SaveBeforeUpload(run), kReadDone);
  EXPECT_EQ(FileText(), AsFile(kHalfWritten));
  EXPECT_EQ(saved.RestorePath(), configPath + ".1");
  EXPECT_EQ(ReadFile(saved.RestorePath()), AsFile(kBefore));
  EXPECT_EQ(LogCount("The configuration saved first, now in " + configPath +
                     ".1, is the one written back\r\n"),
            1);

  // A third attempt keeps its list too, and the first still is the one restored.
  ASSERT_EQ(saved.SaveBeforeUpload(run), kReadDone);
  EXPECT_EQ(saved.RestorePath(), configPath + ".1");
  EXPECT_EQ(ReadFile(configPath + ".2"), AsFile(kHalfWritten));

  Restore();
  EXPECT_EQ(exchange->WrittenLines(), kBefore);
  EXPECT_EQ(UnitLines(), kBefore);
}

TEST_F(SavedConfigurationTest, FailedLaterSaveLeavesTheFirstInPlace) {
  StartConfiguredUnit();
  SetUnitLines(kBefore);
  ASSERT_EQ(saved.SaveBeforeUpload(run), kReadDone);

  exchange->Knobs().silentAfterLines = 0;
  EXPECT_EQ(saved.SaveBeforeUpload(run), kReadStopped);

  EXPECT_EQ(saved.RestorePath(), configPath);
  EXPECT_EQ(FileText(), AsFile(kBefore));
}

TEST_F(SavedConfigurationTest, NewUnitGetsItsOwnConfigurationNeverTheOneBefore) {
  StartConfiguredUnit();
  SetUnitLines(kOtherUnit);
  ASSERT_EQ(saved.SaveBeforeUpload(run), kReadDone);

  // "Upload to another unit?" Yes.
  saved.BeginUnit();
  EXPECT_FALSE(saved.HasSaved());
  SetUnitLines(kBefore);
  ASSERT_EQ(saved.SaveBeforeUpload(run), kReadDone);

  // The first save of this unit, though the file held the other unit's.
  EXPECT_EQ(saved.RestorePath(), configPath);
  EXPECT_EQ(ReadFile(configPath + ".1"), AsFile(kOtherUnit));
  SetUnitLines(kHalfWritten);
  Restore();
  EXPECT_EQ(UnitLines(), kBefore);
}

TEST_F(SavedConfigurationTest, RestoreWithoutASaveOfThisUnitSendsNothing) {
  StartConfiguredUnit();
  SetUnitLines(kOtherUnit);
  ASSERT_EQ(saved.SaveBeforeUpload(run), kReadDone);
  saved.BeginUnit();
  host.RunFor(200);
  const std::size_t commands = UnitCommands().size();
  host.AnswerNextBox(BoxAnswer::kOk);

  EXPECT_EQ(saved.RestoreAfterUpload(run), kWriteFileError);

  host.RunFor(200);
  EXPECT_EQ(UnitCommands().size(), commands);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text, kNothingSavedForUnit);
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Error");
  EXPECT_EQ(host.ShownBoxes()[0].icon, BoxIcon::kError);
}

}  // namespace
}  // namespace rv4410
