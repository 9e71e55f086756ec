#include "config/saved_configuration.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "config/write_configuration.h"
#include "configuration_fixture.h"
#include "protocol/command_lines.h"

namespace rv4410 {
namespace {

using test::AsFile;
using test::FileNamesIn;
using test::ReadFile;
using test::WriteFile;

// What the unit holds before the upload; what a flash write left in it (the
// same serial number, or every value erased); another unit's list.
const std::vector<std::string> kBefore = {
    "HDG             0x00000005", "PTEST Sernum    0x0006BABF", "DG Select       0x00000001"};
const std::vector<std::string> kHalfWritten = {
    "HDG             0x00000000", "PTEST Sernum    0x0006BABF", "DG Select       0x00000000"};
const std::vector<std::string> kErased = {
    "HDG             0xFFFFFFFF", "PTEST Sernum    0xFFFFFFFF", "DG Select       0xFFFFFFFF"};
const std::vector<std::string> kOtherUnit = {
    "HDG             0x0000005B", "PTEST Sernum    0x00001234", "DG Select       0x00000002"};
const std::vector<std::string> kOtherWithoutSerial = {
    "HDG             0x0000005B", "PTEST Sernum    0x00000000", "DG Select       0x00000002"};

ListFacts Facts(const std::vector<std::string>& lines) {
  test::TempDir dir;
  WriteFile(dir.File("list"), AsFile(lines));
  ListFacts facts;
  EXPECT_TRUE(ReadListFacts(dir.File("list"), facts));
  return facts;
}

TEST(ListFactsTest, TellTheSerialNumberTheErasedListAndTheSameList) {
  ListFacts before = Facts(kBefore);
  EXPECT_EQ(before.lines, 3);
  EXPECT_EQ(before.serial, 0x0006BABFu);
  EXPECT_FALSE(before.HoldsNone());
  EXPECT_TRUE(before.SameList(Facts(kBefore)));
  EXPECT_FALSE(before.SameList(Facts(kHalfWritten)));

  // 0 and erased are no serial number.
  EXPECT_FALSE(Facts(kOtherWithoutSerial).serial);
  ListFacts erased = Facts(kErased);
  EXPECT_FALSE(erased.serial);
  EXPECT_TRUE(erased.allErased);
  EXPECT_TRUE(erased.HoldsNone());
  EXPECT_TRUE(Facts({}).HoldsNone());
  EXPECT_FALSE(Facts({"HDG             0xFFFFFFFF", "DG Select       0x00000001"}).HoldsNone());
}

TEST(ChooseRestoreTest, OnlyEvidenceThatTellsUnitsApartDecides) {
  struct Case {
    const char* name;
    std::vector<std::string> unit;
    bool identificationKnown;
    bool identificationUnchanged;
    RestoreChoice choice;
  };
  const Case cases[] = {
      {"the same list", kBefore, false, false, RestoreChoice::kSaved},
      {"the same serial number", kHalfWritten, false, false, RestoreChoice::kSaved},
      {"another serial number", kOtherUnit, true, true, RestoreChoice::kAnotherUnit},
      {"erased, identification unchanged", kErased, true, true, RestoreChoice::kSaved},
      {"empty, identification unchanged", {}, true, true, RestoreChoice::kSaved},
      {"erased, identification changed", kErased, true, false, RestoreChoice::kAsk},
      {"erased, no identification", kErased, false, false, RestoreChoice::kAsk},
      {"another list without serial", kOtherWithoutSerial, true, true, RestoreChoice::kAsk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RestoreEvidence evidence;
    evidence.saved = Facts(kBefore);
    evidence.unit = Facts(c.unit);
    evidence.identificationKnown = c.identificationKnown;
    evidence.identificationUnchanged = c.identificationUnchanged;
    RestoreDecision decision = ChooseRestore(evidence);
    EXPECT_EQ(decision.choice, c.choice);
    EXPECT_FALSE(decision.reason.empty());
  }
  // A saved list without a serial number does not tell either.
  RestoreEvidence noSerial;
  noSerial.saved = Facts(kOtherWithoutSerial);
  noSerial.unit = Facts(kOtherUnit);
  EXPECT_EQ(ChooseRestore(noSerial).choice, RestoreChoice::kAsk);
}

class SavedConfigurationTest : public test::ConfigurationTest {
 protected:
  void SetUp() override {
    StartConfiguredUnit();
    SetUnitLines(kBefore);
    run.UnitInfoValid = true;
    run.unitInfo.bytes[20] = 0x42;
  }
  // A first attempt up to its flash write: the list saved and the restore recorded.
  void FirstAttemptUpToTheFlashWrite() {
    ASSERT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kDone);
    ASSERT_EQ(saved.RecordBeforeFlashWrite(run, "RV4410_v2.hex"), "");
    ASSERT_TRUE(PendingRestoreExists(configPath));
  }
  // The restore, as the program upload runs it: the list, then the unit's answer.
  void Restore() {
    ASSERT_EQ(saved.RestoreAfterUpload(run).ending, Ending::kDone);
    ReplyBuffer reply{};
    ASSERT_GT(ReceiveLine(run, reply.data(), 5000), 0);
    EXPECT_STREQ(reply.data(), "OK");
  }
  std::string RecordPath() const { return configPath + kPendingRestoreSuffix; }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& box : host.ShownBoxes()) texts.push_back(box.text);
    return texts;
  }

  SavedConfiguration saved;
};

TEST_F(SavedConfigurationTest, FlashWriteIsPrecededByARecordThatTheRestoreClears) {
  FirstAttemptUpToTheFlashWrite();
  EXPECT_EQ(saved.RestorePath(), configPath);
  PendingRestore record;
  std::string problem;
  ASSERT_EQ(ReadPendingRestore(configPath, record, problem), RecordRead::kFound) << problem;
  EXPECT_EQ(record.configFile, configPath);
  EXPECT_EQ(record.program, "RV4410_v2.hex");
  EXPECT_EQ(record.list.serial, 0x0006BABFu);
  ASSERT_TRUE(record.identification);
  EXPECT_EQ(record.identification->bytes, run.unitInfo.bytes);
  EXPECT_TRUE(record.list.SameList(Facts(kBefore)));

  SetUnitLines(kErased);
  Restore();
  saved.RestoreTaken(run);
  EXPECT_EQ(UnitLines(), kBefore);
  EXPECT_FALSE(PendingRestoreExists(configPath));
  EXPECT_EQ(FileNamesIn(dir.Path()), (std::vector<std::string>{"Loader.LOG", "param.dat"}));
  EXPECT_EQ(LogCount("is removed: the unit has taken the configuration back"), 1);
}

TEST_F(SavedConfigurationTest, RetryWithoutAFlashWriteTakesTheListTheUnitHoldsNow) {
  ASSERT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kDone);
  // "Try again?" before any flash write: whatever unit is attached holds its own list.
  SetUnitLines(kOtherUnit);
  ASSERT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kDone);
  EXPECT_EQ(saved.RestorePath(), configPath);
  EXPECT_EQ(FileText(), AsFile(kOtherUnit));
  EXPECT_EQ(ReadFile(configPath + ".1"), AsFile(kBefore));
  SetUnitLines(kErased);
  Restore();
  EXPECT_EQ(UnitLines(), kOtherUnit);
}

// A retry after the flash write started: what the evidence decides, with
// the technician's answer where it asks.
TEST_F(SavedConfigurationTest,
       RetryAfterAFlashWriteRestoresOnlyWhatTheEvidenceOrTheTechnicianSays) {
  struct Case {
    const char* name;
    std::vector<std::string> unitNow;
    bool identificationChanged;
    std::optional<BoxAnswer> answer;  // to the question, when it is asked
    Ending result;
    std::vector<std::string> restored;  // what the unit holds after the restore
    std::string fileAfter;              // the configuration file's text
    bool recordStays;
  };
  const Case cases[] = {
      {"same serial number", kHalfWritten, true, {}, Ending::kDone, kBefore, AsFile(kBefore), true},
      {"erased, same identification",
       kErased,
       false,
       {},
       Ending::kDone,
       kBefore,
       AsFile(kBefore),
       true},
      {"another unit by its serial number",
       kOtherUnit,
       false,
       {},
       Ending::kStopped,
       {},
       AsFile(kBefore),
       true},
      {"erased, identification changed: saved", kErased, true, BoxAnswer::kYes, Ending::kDone,
       kBefore, AsFile(kBefore), true},
      {"no serial to compare: the unit's own", kOtherWithoutSerial, false, BoxAnswer::kNo,
       Ending::kDone, kOtherWithoutSerial, AsFile(kOtherWithoutSerial), false},
      {"no serial to compare: stop",
       kOtherWithoutSerial,
       false,
       BoxAnswer::kCancel,
       Ending::kStopped,
       {},
       AsFile(kBefore),
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      if (entry.path().filename() != "Loader.LOG") std::filesystem::remove(entry.path());
    }
    saved.BeginUnit();
    host.ClearShownBoxes();
    run.unitInfo.bytes[20] = 0x42;
    SetUnitLines(kBefore);
    FirstAttemptUpToTheFlashWrite();

    SetUnitLines(c.unitNow);
    if (c.identificationChanged) run.unitInfo.bytes[20] = 0x43;
    if (c.answer) host.AnswerNextBox(*c.answer);
    if (c.result == Ending::kStopped && !c.answer) host.AnswerNextBox(BoxAnswer::kOk);
    const int writesBefore = Received("WX");
    ASSERT_EQ(saved.SaveBeforeUpload(run).ending, c.result);

    EXPECT_EQ(host.ShownBoxes().size(), c.answer || c.result == Ending::kStopped ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(host.ShownBoxes()[0].buttons, BoxButtons::kYesNoCancel);
      EXPECT_EQ(host.ShownBoxes()[0].caption, "Note");
      EXPECT_NE(host.ShownBoxes()[0].text.find(configPath), std::string::npos);
    }
    EXPECT_EQ(FileText(), c.fileAfter);
    EXPECT_EQ(PendingRestoreExists(configPath), c.recordStays);
    if (c.result == Ending::kDone) {
      ASSERT_EQ(saved.RecordBeforeFlashWrite(run, "RV4410_v2.hex"), "");
      SetUnitLines(kErased);
      Restore();
      saved.RestoreTaken(run);
      EXPECT_EQ(UnitLines(), c.restored);
      EXPECT_FALSE(PendingRestoreExists(configPath));
    } else {
      // Nothing beyond the read went to the unit.
      EXPECT_EQ(Received("WX"), writesBefore);
    }
  }
}

TEST_F(SavedConfigurationTest, AnotherUnitIsToldAndItsListIsNotKept) {
  FirstAttemptUpToTheFlashWrite();
  SetUnitLines(kOtherUnit);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kStopped);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Error");
  EXPECT_EQ(host.ShownBoxes()[0].text,
            FormatText(kNotThatUnitFormat, configPath.c_str(), 0x0006BABFu, 0x00001234u));
  EXPECT_EQ(LogCount("Not the unit the saved configuration came from: the unit's serial number "
                     "(PTEST Sernum 4660) is not the saved list's (441023)"),
            1);
  EXPECT_EQ(FileNamesIn(dir.Path()),
            (std::vector<std::string>{"Loader.LOG", "param.dat", "param.dat.restore-pending"}));
}

TEST_F(SavedConfigurationTest, ListJustReadIsKeptBesideWhenTheSavedOneGoesBack) {
  FirstAttemptUpToTheFlashWrite();
  SetUnitLines(kHalfWritten);
  ASSERT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kDone);
  EXPECT_EQ(FileText(), AsFile(kBefore));
  EXPECT_EQ(ReadFile(configPath + ".1"), AsFile(kHalfWritten));
  EXPECT_EQ(LogCount("The configuration saved in " + configPath +
                     " goes back to the unit: the unit's serial number (PTEST Sernum 441023) is "
                     "the saved list's\r\n"),
            1);
  EXPECT_EQ(LogCount("The list just read from the unit is kept as " + configPath + ".1\r\n"), 1);
}

TEST_F(SavedConfigurationTest, RecordLeftByAnEarlierRunIsToldAndRestored) {
  FirstAttemptUpToTheFlashWrite();
  // The run ends here; the next one starts afresh with the same file.
  SavedConfiguration next;
  SetUnitLines(kErased);
  host.AnswerNextBox(BoxAnswer::kOk);
  ASSERT_EQ(next.SaveBeforeUpload(run).ending, Ending::kDone);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Note");
  EXPECT_EQ(host.ShownBoxes()[0].icon, BoxIcon::kInformation);
  EXPECT_NE(host.ShownBoxes()[0].text.find("program RV4410_v2.hex"), std::string::npos);
  EXPECT_EQ(LogCount("stopped after\nits flash write"), 1);
  EXPECT_EQ(next.RestorePath(), configPath);
  EXPECT_EQ(FileText(), AsFile(kBefore));
  ASSERT_EQ(next.RecordBeforeFlashWrite(run, "RV4410_v2.hex"), "");
  ASSERT_EQ(next.RestoreAfterUpload(run).ending, Ending::kDone);
  host.RunFor(200);
  EXPECT_EQ(UnitLines(), kBefore);
  EXPECT_EQ(exchange->CompletedWrites(), 1);
}

TEST_F(SavedConfigurationTest, ReadIntoAFileWithARestorePendingKeepsTheList) {
  FirstAttemptUpToTheFlashWrite();
  SetUnitLines(kOtherUnit);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kStopped);
  EXPECT_EQ(FileText(), AsFile(kBefore));
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>{FormatText(kPendingRestoreKeptFormat, configPath.c_str())});
  EXPECT_EQ(FileNamesIn(dir.Path()),
            (std::vector<std::string>{"Loader.LOG", "param.dat", "param.dat.restore-pending"}));
}

TEST_F(SavedConfigurationTest, RecordWhoseListWasChangedOrIsDamagedStopsTheUpload) {
  FirstAttemptUpToTheFlashWrite();
  WriteConfigFile(AsFile(kOtherUnit));
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kStopped);
  EXPECT_NE(BoxTexts().back().find("no longer holds it (it was changed since)"), std::string::npos);

  WriteFile(RecordPath(), "RV4410 configuration restore pending\r\nlength=x\r\n");
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kStopped);
  EXPECT_NE(BoxTexts().back().find("cannot be used (a line of it is damaged)"), std::string::npos);
  // No read at all: the unit heard nothing but the first attempt's.
  EXPECT_EQ(Received("RX"), 1);
}

TEST_F(SavedConfigurationTest, FileReplacedByAnotherRunAfterTheSaveStopsBeforeTheFlashWrite) {
  ASSERT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kDone);
  WriteConfigFile(AsFile(kOtherUnit));
  std::string question = saved.RecordBeforeFlashWrite(run, "RV4410_v2.hex");
  EXPECT_EQ(question, FormatText(kRecordFailedFormat, configPath.c_str(), kReplacedByAnotherRun));
  EXPECT_FALSE(PendingRestoreExists(configPath));
}

TEST_F(SavedConfigurationTest, EmptyListIsTheUnitsAnswerAndNeverReplacesTheFile) {
  WriteConfigFile(AsFile(kOtherUnit));
  SetUnitLines({});
  host.AnswerNextBox(BoxAnswer::kNo);
  EXPECT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kStopped);
  ASSERT_EQ(BoxTexts(), std::vector<std::string>{kNoConfigurationQuestion});
  EXPECT_EQ(host.ShownBoxes()[0].buttons, BoxButtons::kYesNo);
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Note");
  EXPECT_EQ(LogCount(std::string(kNoConfigurationQuestion) + "\nAnswer: No"), 1);

  host.AnswerNextBox(BoxAnswer::kYes);
  EXPECT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kDone);
  EXPECT_TRUE(saved.HasSaved());
  EXPECT_EQ(saved.RecordBeforeFlashWrite(run, "RV4410_v2.hex"), "");
  EXPECT_FALSE(PendingRestoreExists(configPath));
  host.RunFor(100);
  const std::size_t before = UnitCommands().size();
  Restore();
  // The exchange with no parameter line: its offer, then its end.
  EXPECT_EQ(std::vector<std::string>(UnitCommands().begin() + static_cast<long>(before),
                                     UnitCommands().end()),
            (std::vector<std::string>{"WX", ""}));
  EXPECT_EQ(exchange->CompletedWrites(), 1);
  EXPECT_EQ(FileText(), AsFile(kOtherUnit));
  EXPECT_EQ(FileNamesIn(dir.Path()), (std::vector<std::string>{"Loader.LOG", "param.dat"}));
}

TEST_F(SavedConfigurationTest, ListWhoseEveryLineFailedItsCheckIsAFailedRead) {
  FirstAttemptUpToTheFlashWrite();
  StartConfiguredUnit([](sim::ConfigurationKnobs& k) {
    k.wrongCheckLine = 0;
    k.wrongCheckSends = 3;
  });
  SetUnitLines({kBefore[0]});
  // A failed read: the page asks as after any read that failed.
  EXPECT_EQ(saved.SaveBeforeUpload(run).question, kProblemReadingConfiguration);
  EXPECT_EQ(FileText(), AsFile(kBefore));
}

TEST_F(SavedConfigurationTest, RestoreWithoutASaveOfThisUnitSendsNothing) {
  ASSERT_EQ(saved.SaveBeforeUpload(run).ending, Ending::kDone);
  saved.BeginUnit();
  host.RunFor(200);
  const std::size_t commands = UnitCommands().size();
  host.AnswerNextBox(BoxAnswer::kOk);

  EXPECT_EQ(saved.RestoreAfterUpload(run).ending, Ending::kFileRefused);

  host.RunFor(200);
  EXPECT_EQ(UnitCommands().size(), commands);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text, kNothingSavedForUnit);
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Error");
  EXPECT_EQ(host.ShownBoxes()[0].icon, BoxIcon::kError);
}

}  // namespace
}  // namespace rv4410
