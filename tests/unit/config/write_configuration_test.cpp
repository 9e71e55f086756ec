#include "config/write_configuration.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <sys/stat.h>

#include "config/parameter_line.h"
#include "configuration_fixture.h"
#include "failing_file_io.h"

namespace rv4410 {
namespace {

using test::AsFile;
using test::FailingFileIo;

class WriteConfigurationTest : public test::ConfigurationTest {
 protected:
  // Writes the file and lets the unit take everything that was sent.
  Outcome Write() {
    Outcome result = WriteConfiguration(run);
    host.RunFor(200);
    return result;
  }
  // The command lines the unit got after the exchange started, up to and
  // including the closing empty line.
  std::vector<std::string> SentAfter(const std::string& start) const {
    const std::vector<std::string>& all = UnitCommands();
    auto it = std::find(all.begin(), all.end(), start);
    if (it == all.end()) return {};
    return std::vector<std::string>(it + 1, all.end());
  }
  static std::string Checked(const std::string& line) {
    return line + " " + LineCheckCharacter(line);
  }
};

const std::string kDgSelect9 = "DG Select       0x00000009";
const std::string kHdg = "HDG             0x0000010E";

TEST_F(WriteConfigurationTest, LinesWithinLimitsGoOutUnchangedWithoutABox) {
  StartConfiguredUnit();
  std::vector<std::string> lines = {"ADF-1 Select    0x00000001", "Map1 Item Select 0x00000003",
                                    "Swap Reason     0xFFFFFFFF", "LCD Vpos        0x000000FF"};
  WriteConfigFile(AsFile(lines));

  EXPECT_EQ(Write().ending, Ending::kDone);

  std::vector<std::string> expected;
  for (const std::string& line : lines) expected.push_back(Checked(line));
  expected.push_back("");
  EXPECT_EQ(SentAfter("WX"), expected);
  EXPECT_EQ(exchange->WrittenLines(), lines);
  EXPECT_EQ(exchange->CompletedWrites(), 1);
  EXPECT_TRUE(host.ShownBoxes().empty());
  EXPECT_EQ(LogCount("Writing configuration to Unit\r\n"), 1);
}

TEST_F(WriteConfigurationTest, ValueOutsideItsLimitsIsSentAsTheMinimumAndTheFileKept) {
  StartConfiguredUnit();
  std::string file = AsFile({kDgSelect9, "LCD Xright      0x000001F4", kHdg});
  WriteConfigFile(file);
  host.AnswerNextBox(BoxAnswer::kOk);
  host.AnswerNextBox(BoxAnswer::kOk);

  EXPECT_EQ(Write().ending, Ending::kDone);

  ASSERT_EQ(host.ShownBoxes().size(), 2u);
  EXPECT_EQ(host.ShownBoxes()[0].text, "DG Select       value 9 \nbeing changed to 0");
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Parameter Value Error ...");
  EXPECT_EQ(host.ShownBoxes()[0].icon, BoxIcon::kWarning);
  EXPECT_EQ(host.ShownBoxes()[1].text, "LCD Xright      value 500 \nbeing changed to 430");
  // The minimum, whichever limit was crossed.
  EXPECT_EQ(
      exchange->WrittenLines(),
      (std::vector<std::string>{"DG Select       0x00000000", "LCD Xright      0x000001AE", kHdg}));
  EXPECT_EQ(FileText(), file);
  EXPECT_EQ(LogCount("DG Select       value 9 \nbeing changed to 0\n"), 1);
}

TEST_F(WriteConfigurationTest, UnknownNameIsSentAfterOneBoxShortLinesWithout) {
  StartConfiguredUnit([](auto& k) { k.checkedExchange = false; });
  const std::string newer = "Gizmo Select    0x00000002";
  WriteConfigFile(AsFile({newer, "ABC", kHdg}));
  host.AnswerNextBox(BoxAnswer::kOk);

  EXPECT_EQ(Write().ending, Ending::kDone);

  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text, newer);
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Parameter Name Not Found ...");
  EXPECT_EQ(LogCount("Parameter Name Not Found ..." + newer + "\n"), 1);
  EXPECT_EQ(SentAfter("WP"), (std::vector<std::string>{newer, "ABC", kHdg, ""}));
}

TEST_F(WriteConfigurationTest, EmptyLineIsSentPlainAndChecked) {
  StartConfiguredUnit([](auto& k) { k.checkedExchange = false; });
  WriteConfigFile(AsFile({kHdg, "", kHdg}));
  EXPECT_EQ(Write().ending, Ending::kDone);
  // In the plain exchange it reads as the end of the list.
  EXPECT_EQ(SentAfter("WP"), (std::vector<std::string>{kHdg, "", kHdg, ""}));

  StartConfiguredUnit();
  WriteConfigFile(AsFile({kHdg, "", kHdg}));
  EXPECT_EQ(Write().ending, Ending::kDone);
  EXPECT_EQ(SentAfter("WX"), (std::vector<std::string>{Checked(kHdg), " 0", Checked(kHdg), ""}));
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(WriteConfigurationTest, LineOfTheWrongFormIsDroppedNamingTheCharacter) {
  StartConfiguredUnit([](auto& k) { k.checkedExchange = false; });
  WriteConfigFile(AsFile({"HDG\t            0x0000010E", "HDG             0x0000010", kHdg}));
  host.AnswerNextBox(BoxAnswer::kOk);
  host.AnswerNextBox(BoxAnswer::kOk);

  EXPECT_EQ(Write().ending, Ending::kDone);

  ASSERT_EQ(host.ShownBoxes().size(), 2u);
  const std::string tab =
      "Ignoring parameter!\n\nHDG\t            0x0000010E \n\nInvalid character found. '\t'(9)#3";
  EXPECT_EQ(host.ShownBoxes()[0].text, tab);
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Parameter Character Error ...");
  // "0x" and seven digits: the "0" should stand at position 15.
  EXPECT_EQ(
      host.ShownBoxes()[1].text,
      "Ignoring parameter!\n\nHDG             0x0000010 \n\nInvalid character found. ' '(32)#15");
  EXPECT_EQ(LogCount(tab + "\n"), 1);
  EXPECT_EQ(SentAfter("WP"), (std::vector<std::string>{kHdg, ""}));
}

TEST_F(WriteConfigurationTest, SilentUnitGetsEveryLineFiveTimes) {
  StartConfiguredUnit([](auto& k) { k.neverAckWrites = true; });
  WriteConfigFile(AsFile({kHdg, kDgSelect9.substr(0, 16) + "0x00000001"}));

  EXPECT_EQ(Write().ending, Ending::kDone);

  EXPECT_EQ(Received(Checked(kHdg)), 5);
  EXPECT_EQ(Received(Checked("DG Select       0x00000001")), 5);
  EXPECT_EQ(LogCount("Unit Sent ''\r\n"), 10);
  EXPECT_EQ(LogCount("max retries exhausted\r\n"), 2);
  EXPECT_EQ(UnitCommands().back(), "");
}

// A signal to the command line while the lines go out: the rest of the file
// is not worked through, nor the list closed, in either exchange.
TEST_F(WriteConfigurationTest, AStopBetweenTwoLinesEndsTheWriteThere) {
  for (bool checked : {false, true}) {
    SCOPED_TRACE(checked ? "checked" : "plain");
    StartConfiguredUnit([checked](auto& k) { k.checkedExchange = checked; });
    WriteConfigFile(AsFile({kHdg, kHdg, kHdg, kHdg, kHdg, kHdg}));
    host.StopAfterChecks(3);
    EXPECT_EQ(Write().ending, Ending::kCancelled);
    EXPECT_TRUE(run.CancelRequested);
    // A look before each line; the offer may take one.
    int sent = Received(checked ? Checked(kHdg) : kHdg);
    EXPECT_GE(sent, 2);
    EXPECT_LE(sent, 3);
    EXPECT_EQ(exchange->CompletedWrites(), 0);
    run.CancelRequested = false;
    host.StopAfterChecks(-1);
  }
}

TEST_F(WriteConfigurationTest, RepetitionsAreCountedOverAllLines) {
  // The first line needs three sends; the next has two repetitions left.
  StartConfiguredUnit([](auto& k) { k.unansweredWriteSends = {1, 2, 4, 5, 6}; });
  const std::string second = "CRS             0x0000005B";
  WriteConfigFile(AsFile({kHdg, second, kHdg}));

  EXPECT_EQ(Write().ending, Ending::kDone);

  EXPECT_EQ(Received(Checked(kHdg)), 3 + 1);
  EXPECT_EQ(Received(Checked(second)), 3);
  EXPECT_EQ(LogCount("max retries exhausted\r\n"), 1);
}

TEST_F(WriteConfigurationTest, ListEndsWithAnEmptyLineAlsoAfterADroppedLine) {
  StartConfiguredUnit();
  WriteConfigFile(AsFile({kHdg, "HDG.", "A_B"}));
  host.SetBoxHandler([](const MessageBoxRequest&) { return BoxAnswer::kOk; });
  EXPECT_EQ(Write().ending, Ending::kDone);
  EXPECT_EQ(SentAfter("WX"), (std::vector<std::string>{Checked(kHdg), ""}));
  EXPECT_EQ(exchange->CompletedWrites(), 1);
}

TEST_F(WriteConfigurationTest, OtherFileThanTheSettingsOneIsSent) {
  StartConfiguredUnit([](auto& k) { k.checkedExchange = false; });
  WriteConfigFile(AsFile({kHdg}));
  const std::string other = dir.File("param.dat.1");
  test::WriteFile(other, AsFile({kDgSelect9.substr(0, 16) + "0x00000001"}));
  EXPECT_EQ(WriteConfiguration(run, other).ending, Ending::kDone);
  host.RunFor(200);
  EXPECT_EQ(exchange->WrittenLines(), (std::vector<std::string>{"DG Select       0x00000001"}));
}

TEST_F(WriteConfigurationTest, LastLineWithoutNewlineIsSentWhole) {
  StartConfiguredUnit([](auto& k) { k.checkedExchange = false; });
  WriteConfigFile(kHdg + "\n" + kHdg);
  EXPECT_EQ(Write().ending, Ending::kDone);
  EXPECT_EQ(SentAfter("WP"), (std::vector<std::string>{kHdg, kHdg, ""}));
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(WriteConfigurationTest, FileThatCannotBeOpenedSendsNothing) {
  StartConfiguredUnit();
  run.settings.configFile = dir.File("gone/param.dat");
  host.AnswerNextBox(BoxAnswer::kOk);

  EXPECT_EQ(Write().ending, Ending::kFileRefused);

  EXPECT_TRUE(UnitCommands().empty());
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  const MessageBoxRequest& box = host.ShownBoxes()[0];
  EXPECT_NE(box.text.find(run.settings.configFile), std::string::npos);
  EXPECT_NE(box.text.find("No such file or directory"), std::string::npos);
  EXPECT_EQ(box.caption, "Error");
  EXPECT_EQ(box.icon, BoxIcon::kError);
  EXPECT_EQ(LogCount(box.text + "\n"), 1);
}

TEST_F(WriteConfigurationTest, MalformedFilesAreDroppedLineByLineWithClearMessages) {
  StartConfiguredUnit([](auto& k) { k.checkedExchange = false; });
  std::string binary("HDG\0\xff            0x00000001", 26);
  // CR-only line ends make one line; a 10,000-character line is dropped whole.
  WriteConfigFile(binary + "\n" + std::string(10000, 'A') + "\r\n" + kHdg + "\r" + kHdg + "\r\n" +
                  kHdg + "\n");
  host.SetBoxHandler([](const MessageBoxRequest&) { return BoxAnswer::kOk; });

  EXPECT_EQ(Write().ending, Ending::kDone);

  ASSERT_EQ(host.ShownBoxes().size(), 3u);
  EXPECT_EQ(host.ShownBoxes()[0].text,
            "Ignoring parameter!\n\nHDG \n\nInvalid character found. '?'(0)#3");
  EXPECT_NE(host.ShownBoxes()[1].text.find("Line longer than 254 characters."), std::string::npos);
  EXPECT_EQ(host.ShownBoxes()[1].caption, "Parameter Character Error ...");
  EXPECT_EQ(host.ShownBoxes()[2].text, "Ignoring parameter!\n\n" + kHdg + "\r" + kHdg +
                                           " \n\nInvalid character found. '\r'(13)#26");
  EXPECT_EQ(SentAfter("WP"), (std::vector<std::string>{kHdg, ""}));
}

#if defined(_WIN32)
// Windows has no FIFOs and no /proc: those cases are skipped there.
int mkfifo(const char*, int) {
  errno = ENOSYS;
  return -1;
}
#endif

struct UnusableFile {
  const char* name;
  std::function<void(const std::string& path)> make;
  std::string reason;
  long readableBytes = FailingFileIo::kNever;
};

TEST_F(WriteConfigurationTest, FileThatCannotBeUsedWholeGetsOneBoxAndNothingIsSent) {
  std::string good;
  for (int i = 0; i < 100; ++i) good += kHdg + "\r\n";
  const UnusableFile cases[] = {
      {"folder", [](const std::string& path) { std::filesystem::create_directory(path); },
       "(it is not a regular file)"},
      // Opening a pipe would wait for a writer; as root no mode bits stop a read.
      {"pipe", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
       "(it is not a regular file)"},
      {"unreadable file",
       [](const std::string& path) { std::filesystem::create_symlink("/proc/self/mem", path); },
       "(reading line 1 failed: Input/output error)"},
      {"read failing part way", [&good](const std::string& path) { test::WriteFile(path, good); },
       "(reading line 81 failed: Input/output error)", 80 * 28 + 5},
      {"empty file", [](const std::string& path) { test::WriteFile(path, ""); },
       "(it holds no parameter line)"},
      {"only empty and dropped lines",
       [](const std::string& path) {
         test::WriteFile(path, AsFile({"", "HDG.", "A_B", ""}));
       },
       "(it holds no parameter line)"},
      {"lines with carriage return ends only",
       [](const std::string& path) {
         std::string file;
         for (int i = 0; i < 20; ++i) file += kHdg + "\r";
         test::WriteFile(path, file);
       },
       "(it holds no parameter line)"},
  };
  for (const UnusableFile& c : cases) {
    SCOPED_TRACE(c.name);
#if defined(_WIN32)
    if (std::string(c.name) == "pipe" || std::string(c.name) == "unreadable file") continue;
#endif
    StartConfiguredUnit();
    std::filesystem::remove(configPath);
    c.make(configPath);
    host.ClearShownBoxes();
    host.AnswerNextBox(BoxAnswer::kOk);
    FailingFileIo failing(FailingFileIo::kNever, c.readableBytes);
    const std::string text = "Cannot send the configuration file\n" + configPath + "\n" + c.reason +
                             "\n\nNothing was sent to the unit.";
    const int logged = LogCount(text + "\n");

    EXPECT_EQ(Write().ending, Ending::kFileRefused);

    EXPECT_TRUE(UnitCommands().empty());
    ASSERT_EQ(host.ShownBoxes().size(), 1u);
    const MessageBoxRequest& box = host.ShownBoxes()[0];
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.icon, BoxIcon::kError);
    EXPECT_EQ(LogCount(text + "\n"), logged + 1);
  }
}

TEST_F(WriteConfigurationTest, FileFailingAfterItsCheckEndsTheListAndSaysSo) {
  StartConfiguredUnit([](auto& k) { k.checkedExchange = false; });
  WriteConfigFile(AsFile({kHdg, kHdg, kHdg, kHdg, kHdg}));
  // The check reads all 5 lines; the sending fails in the fourth.
  FailingFileIo failing(FailingFileIo::kNever, 5 * 28 + 3 * 28 + 4);
  host.AnswerNextBox(BoxAnswer::kOk);

  // The list went short: what follows goes on, the run has failed.
  EXPECT_EQ(Write().ending, Ending::kIncomplete);

  EXPECT_EQ(SentAfter("WP"), (std::vector<std::string>{kHdg, kHdg, kHdg, ""}));
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text, "The configuration file\n" + configPath +
                                           "\ncould not be read past line 4 (Input/output "
                                           "error).\n\nThe unit got only the lines before it.");
  EXPECT_EQ(host.ShownBoxes()[0].icon, BoxIcon::kError);
}

}  // namespace
}  // namespace rv4410
