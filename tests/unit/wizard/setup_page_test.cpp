// The setup page's logic in virtual time: the names DoSetup proposes, the
// opening selection and the enabling rules, the "Find ..." buttons' dialog,
// and every "&Next >" check in its order with its message, the user left on
// the page after each failure.

#include "wizard/setup_page.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "config/pending_restore.h"
#include "platform/format.h"
#include "protocol/page_results.h"
#include "support/image_builders.h"
#include "support/image_bytes.h"
#include "support/virtual_unit_fixture.h"
#include "unit/wizard/virtual_setup_page.h"

namespace rv4410 {
namespace {

class SetupPageTest : public test::VirtualUnitTest {
 protected:
  SetupPageTest() {
    host.SetWallClock(test::LocalNoon(2026, 100));
    host.SetBoxHandler([this](const MessageBoxRequest& box) {
      return box.buttons == BoxButtons::kOkCancel ? warningAnswer : BoxAnswer::kOk;
    });
    run.settings.programFile = dir.File("RV4410.hex");
    run.settings.mapFile = dir.File("maps.bin");
    run.settings.configFile = dir.File("RV4410_Param_1.dat");
  }

  // Opens the page with `function` remembered, presses Next and returns the
  // page's result, or kPageNeverEnded when the user was left on the page.
  int PressNext(LoaderFunction function) {
    run.settings.function = function;
    setup.CommandAt(1, kSetupNextButton);
    // Nothing else ends the page: a refused Next leaves it open for good.
    setup.CommandAt(60'000, kSetupCancelButton);
    int result = setup.Run();
    EXPECT_EQ(setup.nextOutcome == NextOutcome::kPassed, result == kPageNext);
    return result == kPageLeave && host.TickCount() >= 60'000 ? test::kPageNeverEnded : result;
  }
  // Next on a fresh page with `function` remembered must be refused with
  // `text`, for a file unless `outcome` says otherwise.
  void ExpectRefusedOnFreshPage(LoaderFunction function, const std::string& text,
                                NextOutcome outcome = NextOutcome::kFileRefused) {
    test::VirtualSetupPage page(host, run, files);
    run.settings.function = function;
    page.CommandAt(host.TickCount() + 1, kSetupNextButton);
    page.CommandAt(host.TickCount() + 60'000, kSetupCancelButton);
    EXPECT_EQ(page.Run(), kPageLeave);
    ExpectLastRefusal(text, &page);
    EXPECT_EQ(page.nextOutcome, outcome);
  }
  void WriteProgram(const test::ProgramImagePlan& plan = {}) {
    test::WriteFile(run.settings.programFile, test::HexText(test::BuildProgramImage(plan)));
  }
  void WriteMap(const test::MapFilePlan& plan) {
    test::WriteFile(run.settings.mapFile, test::AsString(test::BuildMapFile(plan)));
  }
  // The texts of the boxes shown, in order.
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& box : host.ShownBoxes()) texts.push_back(box.text);
    return texts;
  }
  // The page's own refusal: caption "Error", owned by the page, then logged.
  void ExpectLastRefusal(const std::string& text, const SetupPage* page = nullptr) {
    ASSERT_FALSE(host.ShownBoxes().empty());
    const MessageBoxRequest& box = host.ShownBoxes().back();
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.icon, BoxIcon::kError);
    EXPECT_EQ(box.buttons, BoxButtons::kOk);
    EXPECT_EQ(box.owner, (page != nullptr ? page : &setup)->Window());
    EXPECT_NE(LogText().find(text + "\n"), std::string::npos);
  }

  // How many lines of the log read `line`.
  std::size_t LogCount(const std::string& line) const {
    std::string log = "\n" + LogText();
    std::size_t count = 0;
    for (std::size_t at = 0; (at = log.find("\n" + line + "\n", at)) != std::string::npos; ++at) {
      ++count;
    }
    return count;
  }

  DataFiles files;
  test::VirtualSetupPage setup{host, run, files};
  BoxAnswer warningAnswer = BoxAnswer::kOk;
};

TEST_F(SetupPageTest, OpensWithTheRememberedFunctionAndItsFieldsEnabled) {
  struct Case {
    LoaderFunction function;
    bool program, config, map;
  } cases[] = {
      {kWriteProgram, true, true, false},
      {kReadConfiguration, false, true, false},
      {kWriteConfiguration, false, true, false},
      {kWriteMap, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    test::VirtualSetupPage page(host, run, files);
    run.settings.function = c.function;
    page.CommandAt(host.TickCount() + 1, kSetupCancelButton);
    EXPECT_EQ(page.Run(), kPageLeave);
    EXPECT_TRUE(page.iconSet);
    EXPECT_EQ(page.checked, c.function);
    EXPECT_EQ(page.Enabled(kSetupProgramField), c.program);
    EXPECT_EQ(page.Enabled(kSetupProgramFind), c.program);
    EXPECT_EQ(page.Enabled(kSetupConfigField), c.config);
    EXPECT_EQ(page.Enabled(kSetupConfigFind), c.config);
    EXPECT_EQ(page.Enabled(kSetupMapField), c.map);
    EXPECT_EQ(page.Enabled(kSetupMapFind), c.map);
    EXPECT_EQ(page.fields[kSetupProgramField], run.settings.programFile);
    EXPECT_EQ(page.fields[kSetupMapField], run.settings.mapFile);
    EXPECT_EQ(page.fields[kSetupConfigField], run.settings.configFile);
  }
}

TEST_F(SetupPageTest, CommsButtonOpensTheDialogAndThePageStays) {
  setup.CommandAt(1, kSetupCommsButton);
  setup.CommandAt(2, kSetupCloseRequest);
  EXPECT_EQ(setup.Run(), kPageLeave);
  EXPECT_EQ(setup.commsOpened, 1);
}

TEST_F(SetupPageTest, WriteProgramPassesAndLeavesAnExistingConfigurationFileAsItWas) {
  WriteProgram();
  test::WriteFile(run.settings.configFile, "KEEP=1\r\n");
  EXPECT_EQ(PressNext(kWriteProgram), kPageNext);
  EXPECT_EQ(test::ReadFile(run.settings.configFile), "KEEP=1\r\n");
  EXPECT_EQ(files.loadedImage.length, 1024);
  EXPECT_FALSE(run.link.open);
  EXPECT_EQ(run.settings.function, kWriteProgram);
  EXPECT_NE(LogText().find("Read Program file...\n" + run.settings.programFile + "\n"),
            std::string::npos);
}

TEST_F(SetupPageTest, ReadConfigurationNeverEmptiesAFileTheUserPicked) {
  test::WriteFile(run.settings.configFile, "KEEP=1\r\n");
  EXPECT_EQ(PressNext(kReadConfiguration), kPageNext);
  EXPECT_EQ(test::ReadFile(run.settings.configFile), "KEEP=1\r\n");
}

TEST_F(SetupPageTest, ReadConfigurationRefusesAListStillOwedToAUnitButWriteProgramTakesIt) {
  test::WriteFile(run.settings.configFile, "HDG             0x00000005\r\n");
  test::WriteFile(run.settings.configFile + kPendingRestoreSuffix, "a record");
  ExpectRefusedOnFreshPage(kReadConfiguration,
                           FormatText(kPendingRestoreKeptFormat, run.settings.configFile.c_str()));
  WriteProgram();
  EXPECT_EQ(PressNext(kWriteProgram), kPageNext);
  EXPECT_EQ(test::ReadFile(run.settings.configFile), "HDG             0x00000005\r\n");
}

TEST_F(SetupPageTest, AnAbsentConfigurationFileIsProvedCreatableAndNotLeftBehind) {
  auto names = [this] {
    std::set<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      found.insert(entry.path().filename().string());
    }
    return found;
  };
  std::set<std::string> before = names();
  EXPECT_EQ(PressNext(kReadConfiguration), kPageNext);
  EXPECT_EQ(names(), before);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(SetupPageTest, AConfigurationFileThatCannotBeWrittenIsRefused) {
  std::string cases[] = {dir.File("no-such-folder/param.dat"), dir.Path(),
                         dir.File(std::string(300, 'n'))};
  for (const std::string& name : cases) {
    SCOPED_TRACE(name);
    run.settings.configFile = name;
    ExpectRefusedOnFreshPage(kReadConfiguration,
                             FormatText("Could not create '%s'.", name.c_str()));
  }
}

TEST_F(SetupPageTest, WriteProgramRefusesAnUnwritableConfigurationAfterTheProgramPassed) {
  WriteProgram();
  run.settings.configFile = dir.File("no-such-folder/param.dat");
  EXPECT_EQ(PressNext(kWriteProgram), test::kPageNeverEnded);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                            FormatText("Could not create '%s'.", run.settings.configFile.c_str())});
}

// A reader's refusal is told as the reader told it: its own box, then the
// same line in the log (the map's format conflict is logged before its box),
// then the page's refusal.
TEST_F(SetupPageTest, AReadersRefusalIsLoggedAfterItsBoxOrBeforeItAsTheReaderDid) {
  test::WriteFile(run.settings.programFile, test::HexText(test::Bytes(16, 0)) + "00");
  test::MapFilePlan plan;
  plan.format = 2;
  WriteMap(plan);
  struct Case {
    LoaderFunction function;
    std::string text;
    bool loggedBeforeTheBox;
    std::string pageRefusal;
  } cases[] = {
      {kWriteProgram, "Invalid header (says 0 bytes)", false,
       FormatText("Couldn't open '%s'.", run.settings.programFile.c_str())},
      {kWriteMap, "Map File Format Conflict 2", true,
       FormatText("Couldn't read map file '%s'.", run.settings.mapFile.c_str())},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    host.ClearShownBoxes();
    std::optional<bool> loggedBefore;
    host.SetBoxHandler([&](const MessageBoxRequest& box) {
      if (box.text == c.text) loggedBefore = LogText().find(c.text + "\n") != std::string::npos;
      return BoxAnswer::kOk;
    });
    ExpectRefusedOnFreshPage(c.function, c.pageRefusal);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{c.text, c.pageRefusal}));
    ASSERT_TRUE(loggedBefore.has_value());
    EXPECT_EQ(*loggedBefore, c.loggedBeforeTheBox);
    EXPECT_EQ(LogCount(c.text), 1u);
  }
}

// The boxes keep their words; the log line after the last one says what
// was wrong with the file.
TEST_F(SetupPageTest, ARefusedFileIsExplainedInPlainWordsAfterItsBoxes) {
  const std::string notes = "Meeting notes\r\nsee you at ten\r\n";
  test::Bytes damaged = test::BuildProgramImage({});
  damaged[600] ^= 1;
  const std::string program = FormatText("Couldn't open '%s'.", run.settings.programFile.c_str());
  const std::string map = FormatText("Couldn't read map file '%s'.", run.settings.mapFile.c_str());
  const std::string crc = FormatText("File '%s' has CRC Error.", run.settings.programFile.c_str());
  struct Case {
    LoaderFunction function;
    std::string content;
    std::string lastBox;
    std::string plain;
  } cases[] = {
      {kWriteProgram, notes, program, "not a program file: it ends before byte 16"},
      {kWriteProgram, test::HexText(damaged), crc,
       "its check sum does not match its contents: the file is damaged or not a program file"},
      {kWriteMap, test::HexText(test::BuildProgramImage({})), map,
       "this looks like a program file, not a map database"},
      {kWriteMap, notes, map, "the map file ends inside its header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plain);
    host.ClearShownBoxes();
    test::WriteFile(c.function == kWriteMap ? run.settings.mapFile : run.settings.programFile,
                    c.content);
    test::VirtualSetupPage page(host, run, files);
    run.settings.function = c.function;
    page.CommandAt(host.TickCount() + 1, kSetupNextButton);
    page.CommandAt(host.TickCount() + 60'000, kSetupCancelButton);
    EXPECT_EQ(page.Run(), kPageLeave);
    ASSERT_FALSE(host.ShownBoxes().empty());
    EXPECT_EQ(host.ShownBoxes().back().text, c.lastBox);
    std::string log = LogText();
    std::string tail = c.lastBox + "\nAnswer: OK\n" + c.plain + "\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
  }
}

TEST_F(SetupPageTest, AMissingProgramFileGivesCouldNotOpenAlone) {
  EXPECT_EQ(PressNext(kWriteProgram), test::kPageNeverEnded);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{
                            FormatText("Couldn't open '%s'.", run.settings.programFile.c_str())});
}

// The file ends before its header's length: the log says how much it
// supplied before the page refuses the image.
TEST_F(SetupPageTest, AProgramShorterThanAControlBlockIsAFileError) {
  test::Bytes image(150, 0x11);
  test::PutBig32(image, 8, 200);
  test::WriteFile(run.settings.programFile, test::HexText(image));
  EXPECT_EQ(PressNext(kWriteProgram), test::kPageNeverEnded);
  std::string fileError = FormatText("File Error on '%s'.", run.settings.programFile.c_str());
  ExpectLastRefusal(fileError);
  EXPECT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_NE(LogText().find("The file supplies 150 of the image's 200 bytes; the rest is zero\n" +
                           fileError + "\n"),
            std::string::npos);
}

TEST_F(SetupPageTest, AProgramCrcErrorShowsOnlyItsOwnMessage) {
  test::Bytes image = test::BuildProgramImage({});
  image[600] ^= 1;
  test::WriteFile(run.settings.programFile, test::HexText(image));
  test::WriteFile(run.settings.configFile, "KEEP=1\r\n");
  EXPECT_EQ(PressNext(kWriteProgram), test::kPageNeverEnded);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{FormatText("File '%s' has CRC Error.",
                                                            run.settings.programFile.c_str())});
  EXPECT_EQ(test::ReadFile(run.settings.configFile), "KEEP=1\r\n");
}

TEST_F(SetupPageTest, WriteConfigurationNeedsAReadableRegularFile) {
  std::string missing = dir.File("absent.dat");
#if defined(_WIN32)
  for (const std::string& name : {missing, dir.Path()}) {
#else
  std::string fifo = dir.File("fifo.dat");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A FIFO with no writer would hold an open for reading forever.
  for (const std::string& name : {missing, fifo, dir.Path()}) {
#endif
    SCOPED_TRACE(name);
    run.settings.configFile = name;
    ExpectRefusedOnFreshPage(
        kWriteConfiguration,
        FormatText("Cannot find Configuration\r\ndata file '%s'.", name.c_str()));
  }
  test::WriteFile(run.settings.configFile = dir.File("param.dat"), "A=1\r\n");
  EXPECT_EQ(PressNext(kWriteConfiguration), kPageNext);
}

// The validity range is shown and logged, then each warning due is asked
// (not logged); Cancel at either reads nothing more of the file.
TEST_F(SetupPageTest, CancelAtAMapDateWarningKeepsTheUserOnThePage) {
  test::MapFilePlan plan;
  plan.data = test::PatternBytes(100, 3);
  plan.effectiveDate = 27001;   // not valid before 2027
  plan.expirationDate = 25001;  // and expired in 2025
  WriteMap(plan);
  std::string couldNotRead =
      FormatText("Couldn't read map file '%s'.", run.settings.mapFile.c_str());
  for (int cancelAt : {1, 2}) {
    SCOPED_TRACE(cancelAt);
    host.ClearShownBoxes();
    int warnings = 0;
    std::string cancelled;
    host.SetBoxHandler([&warnings, &cancelled, cancelAt](const MessageBoxRequest& box) {
      if (box.buttons != BoxButtons::kOkCancel) return BoxAnswer::kOk;
      if (++warnings != cancelAt) return BoxAnswer::kOk;
      cancelled = box.text;
      return BoxAnswer::kCancel;
    });
    ExpectRefusedOnFreshPage(kWriteMap, couldNotRead);
    std::vector<std::string> captions;
    for (const MessageBoxRequest& box : host.ShownBoxes()) captions.push_back(box.caption);
    std::vector<std::string> expected{"Caution", "Cancel to Quit, OK to Continue"};
    if (cancelAt == 2) expected.push_back("Cancel to Quit, OK to Continue");
    expected.push_back("Error");
    EXPECT_EQ(captions, expected);
    EXPECT_FALSE(files.loadedImage.HasBuffer());
    EXPECT_EQ(files.mapControlBlock.Word(0), 0u);
    // The warning is logged with the answer that ended the read.
    EXPECT_NE(LogText().find(cancelled + "\nAnswer: Cancel\n"), std::string::npos);
  }
  EXPECT_EQ(LogCount(host.ShownBoxes()[0].text), 2u);
}

TEST_F(SetupPageTest, AMapWithoutDataIsRefusedAndAGoodOneGoesOn) {
  WriteMap({});
  EXPECT_EQ(PressNext(kWriteMap), test::kPageNeverEnded);
  ExpectLastRefusal(FormatText("Couldn't read map file '%s'.", run.settings.mapFile.c_str()));

  test::MapFilePlan plan;
  plan.data = test::PatternBytes(100, 3);
  WriteMap(plan);
  test::VirtualSetupPage again(host, run, files);
  again.CommandAt(host.TickCount() + 1, kSetupNextButton);
  EXPECT_EQ(again.Run(), kPageNext);
  EXPECT_EQ(files.loadedImage.length, 100);
  EXPECT_EQ(LogCount("Read Map file..."), 2u);
  EXPECT_EQ(LogCount(run.settings.mapFile), 2u);
  // The waiting page asks the unit for what this map needs.
  MapRequirement requirement = RequirementOf(files.mapHeader);
  EXPECT_EQ(requirement.featureMask, plan.featureMask);
  EXPECT_EQ(requirement.dataLength, 100u);
}

TEST_F(SetupPageTest, APortInUseFailsLastAfterTheFilesWereReadAndLogsWhy) {
  WriteProgram();
  host.Device().SetHeldElsewhere(true);
  run.settings.portName = "COM2";
  EXPECT_EQ(PressNext(kWriteProgram), test::kPageNeverEnded);
  EXPECT_EQ(setup.nextOutcome, NextOutcome::kPortNotOpened);
  EXPECT_EQ(files.loadedImage.length, 1024);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Could not open COM2."});
  ExpectLastRefusal("Could not open COM2.");
  std::string reason = host.DescribePortProblem("COM2");
  ASSERT_FALSE(reason.empty());
  EXPECT_NE(LogText().find("Could not open COM2.\nAnswer: OK\n" + reason + "\n"),
            std::string::npos);
  EXPECT_FALSE(run.link.open);
}

TEST_F(SetupPageTest, EveryFunctionChecksThePortLast) {
  WriteProgram();
  test::MapFilePlan plan;
  plan.data = test::PatternBytes(10, 3);
  WriteMap(plan);
  test::WriteFile(run.settings.configFile, "A=1\r\n");
  host.Device().SetPortPresent("COM1", false);
  for (LoaderFunction function :
       {kWriteProgram, kReadConfiguration, kWriteConfiguration, kWriteMap}) {
    SCOPED_TRACE(function);
    ExpectRefusedOnFreshPage(function, "Could not open COM1.", NextOutcome::kPortNotOpened);
  }
}

TEST_F(SetupPageTest, NextTakesTheFieldsIntoTheSettingsEvenWhenACheckFails) {
  run.settings.function = kWriteConfiguration;
  // The page fills its fields as it opens: the user types after that.
  host.At(1, [this] {
    setup.fields[kSetupProgramField] = "typed.hex";
    setup.fields[kSetupMapField] = "typed.bin";
    setup.fields[kSetupConfigField] = std::string(300, 'c');
  });
  setup.CommandAt(2, kSetupNextButton);
  setup.CommandAt(60'000, kSetupCancelButton);
  EXPECT_EQ(setup.Run(), kPageLeave);
  EXPECT_EQ(run.settings.programFile, "typed.hex");
  EXPECT_EQ(run.settings.mapFile, "typed.bin");
  // A name is carried whole: cut, it would name another file.
  EXPECT_EQ(run.settings.configFile, std::string(300, 'c'));
  ExpectLastRefusal(
      FormatText("Cannot find Configuration\r\ndata file '%s'.", std::string(300, 'c').c_str()));
  EXPECT_EQ(setup.fields[kSetupConfigField], std::string(300, 'c'));
}

// A pick of "Find ..." longer than 255 bytes, whose 255th byte falls inside a
// two-byte character, is read whole, not as the other file at its first 255
// bytes; a pick longer than a path may be is refused, and nothing is read.
TEST_F(SetupPageTest, ALongPickIsCarriedWholeAndOneBeyondThePathLimitIsRefused) {
  std::string folder = dir.File("");
  std::string sub;
  while (folder.size() + sub.size() < 120) sub += "\xC3\xA9";  // é
  std::filesystem::create_directory(folder + sub);
  std::string name = folder + sub + "/";
  while (name.size() < 253) name += "\xC3\xBC";  // ü
  if (name.size() == 253) name += "x";
  name += "\xC3\xBC\xC3\xBC.hex";  // byte 255 is the first half of a ü
  std::string prefix = name.substr(0, 255);
  ASSERT_EQ(static_cast<unsigned char>(prefix.back()), 0xC3);  // half a character
  test::Bytes wanted = test::BuildProgramImage({.seed = 21});
  test::WriteFile(name, test::HexText(wanted));
  test::WriteFile(prefix, test::HexText(test::BuildProgramImage({.seed = 22})));

  host.AnswerNextChoice(name);
  setup.CommandAt(1, kSetupProgramFind);
  EXPECT_EQ(PressNext(kWriteProgram), kPageNext);
  EXPECT_EQ(setup.fields[kSetupProgramField], name);
  EXPECT_EQ(run.settings.programFile, name);
  EXPECT_EQ(test::ImageBytes(files.loadedImage), wanted);

  std::string tooLong = folder + std::string(4200 - folder.size(), 'p');
  host.AnswerNextChoice(tooLong);
  test::VirtualSetupPage again(host, run, files);
  again.CommandAt(host.TickCount() + 1, kSetupProgramFind);
  again.CommandAt(host.TickCount() + 2, kSetupNextButton);
  again.CommandAt(host.TickCount() + 60'000, kSetupCancelButton);
  std::size_t readsBefore = LogCount("Read Program file...");
  EXPECT_EQ(again.Run(), kPageLeave);
  EXPECT_EQ(again.fields[kSetupProgramField], tooLong);
  ExpectLastRefusal(
      "A file name of 4200 bytes is longer than a path may be here (at most 4095 bytes).", &again);
  EXPECT_EQ(LogCount("Read Program file..."), readsBefore);
}

#if !defined(_WIN32)  // FIFOs and devices
// A program or map file that is a FIFO or a device is refused before it is
// opened (a FIFO would hold the open, /dev/zero would be read for ever), with
// the file's own refusal and a line in the log saying why.
TEST_F(SetupPageTest, AProgramOrMapFileThatIsNoRegularFileIsRefusedUnopened) {
  std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& name : {fifo, std::string("/dev/zero"), dir.Path()}) {
    SCOPED_TRACE(name);
    run.settings.programFile = name;
    run.settings.mapFile = name;
    ExpectRefusedOnFreshPage(kWriteProgram, FormatText("Couldn't open '%s'.", name.c_str()));
    ExpectRefusedOnFreshPage(kWriteMap, FormatText("Couldn't read map file '%s'.", name.c_str()));
    EXPECT_EQ(LogCount("'" + name + "' is not a regular file: not read"), 2u);
  }
}
#endif

// A run being stopped (a signal on the command line) ends the file checks
// part way, quietly: no refusal is shown for a file that was merely stopped.
TEST_F(SetupPageTest, AStopEndsTheFileChecksWithoutARefusal) {
  WriteProgram({.length = 300'000});
  test::MapFilePlan plan;
  plan.data = test::PatternBytes(3 << 20, 3);
  WriteMap(plan);
  // The program reader looks before each piece it reads; the map reader
  // before each read, and the map data comes in pieces of 1 MiB.
  for (auto [function, checks] : {std::pair{kWriteProgram, 2}, std::pair{kWriteMap, 3}}) {
    SCOPED_TRACE(function);
    host.ClearShownBoxes();
    host.StopAfterChecks(checks);
    EXPECT_EQ(PressNext(function), test::kPageNeverEnded);
    EXPECT_EQ(setup.nextOutcome, NextOutcome::kFileRefused);
    for (const MessageBoxRequest& box : host.ShownBoxes()) EXPECT_EQ(box.caption, "Caution");
    EXPECT_EQ(LogText().find("Couldn't"), std::string::npos);
    host.StopAfterChecks(-1);
  }
}

// Runs DoSetup in `dir` as the working directory; the page is cancelled at once.
class DoSetupTest : public test::VirtualUnitTest {
 protected:
  int RunSetup() {
    std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    test::VirtualSetupPage setup(host, run, files);
    setup.CommandAt(host.TickCount(), kSetupCancelButton);
    int result = DoSetup(run, setup);
    std::filesystem::current_path(before);
    fields = setup.fields;
    return result;
  }

  DataFiles files;
  std::map<int, std::string> fields;
};

TEST_F(DoSetupTest, ProposesTheNewestFilesAndAFreshConfigurationNameEachPass) {
  test::WriteFile(dir.File("RV4410_1.hex"), "x");
  test::WriteFile(dir.File("data.bin"), "x");
  host.SetWallClock(975000000);
  EXPECT_EQ(RunSetup(), kPageLeave);
  EXPECT_EQ(run.settings.programFile, "RV4410_1.hex");
  EXPECT_EQ(run.settings.mapFile, "data.bin");
  std::string first = run.settings.configFile;
  EXPECT_EQ(fields[kSetupProgramField], "RV4410_1.hex");
  EXPECT_EQ(fields[kSetupMapField], "data.bin");
  EXPECT_EQ(fields[kSetupConfigField], first);

  host.RunFor(1000);
  std::filesystem::remove(dir.File("data.bin"));
  EXPECT_EQ(RunSetup(), kPageLeave);
  EXPECT_NE(run.settings.configFile, first);
  EXPECT_EQ(run.settings.configFile, "RV4410_Param_975000001.dat");
  // A default that is gone leaves its field empty.
  EXPECT_EQ(run.settings.mapFile, "");
  EXPECT_NE(LogText().find("... DoSetup()\n"), std::string::npos);
}

TEST_F(DoSetupTest, FindOffersTheDialogWithItsFiltersAndCancelLeavesTheField) {
  test::VirtualSetupPage setup(host, run, files);
  host.AnswerNextChoice(std::nullopt);
  host.AnswerNextChoice(dir.File("chosen.dat"));
  host.AnswerNextChoice(std::nullopt);
  setup.CommandAt(1, kSetupProgramFind);
  setup.CommandAt(2, kSetupConfigFind);
  setup.CommandAt(3, kSetupMapFind);
  setup.CommandAt(4, kSetupCancelButton);
  run.settings.programFile = "typed.hex";
  EXPECT_EQ(setup.Run(), kPageLeave);
  EXPECT_EQ(setup.fields[kSetupProgramField], "typed.hex");
  EXPECT_EQ(setup.fields[kSetupConfigField], dir.File("chosen.dat"));
  ASSERT_EQ(host.ShownChoices().size(), 3u);
  const char* firstFilters[] = {"Data Files (*.hex)", "Parameter Files (*.dat)",
                                "Map Files (*.bin)"};
  const char* firstPatterns[] = {"*.hex", "*.dat", "*.bin"};
  for (int i = 0; i < 3; ++i) {
    const FileChoiceRequest& choice = host.ShownChoices()[i];
    EXPECT_EQ(choice.title, "Select a data file");
    EXPECT_EQ(choice.owner, setup.Window());
    ASSERT_EQ(choice.filters.size(), 2u);
    EXPECT_EQ(choice.filters[0].text, firstFilters[i]);
    EXPECT_EQ(choice.filters[0].pattern, firstPatterns[i]);
    EXPECT_EQ(choice.filters[1].text, "All Files (*.*)");
    EXPECT_EQ(choice.filters[1].pattern, "*.*");
  }
}

}  // namespace
}  // namespace rv4410
