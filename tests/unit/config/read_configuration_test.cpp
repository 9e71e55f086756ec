#include "config/read_configuration.h"

#include <gtest/gtest.h>

#include <functional>

#include <filesystem>

#include "config/parameter_line.h"
#include "configuration_fixture.h"
#include "failing_file_io.h"

namespace rv4410 {
namespace {

using test::AsFile;
using test::FailingFileIo;
using test::FileNamesIn;

const std::vector<std::string> kThreeLines = {
    "ADF-1 Select    0x00000001",
    "Map1 Cat Select  0x00000002",
    "Swap Reason     0xFFFFFFFF",
};

class ReadConfigurationTest : public test::ConfigurationTest {
 protected:
  // The loader's copy of a checked line: the text, a space, its check character.
  static std::string Copy(const std::string& text) { return text + " " + LineCheckCharacter(text); }
  void AnswerBoxes(int count) {
    for (int i = 0; i < count; ++i) host.AnswerNextBox(BoxAnswer::kOk);
  }
  // Ends the page as its buttons do.
  void Cancel() {
    run.CancelRequested = true;
    SerialClose(run.link);
  }
  // The folder holds the log and the configuration file, nothing else.
  std::vector<std::string> OnlyTheFile() const { return {"Loader.LOG", "param.dat"}; }
};

// A configuration saved earlier, different from any the unit sends.
const std::string kSavedBefore =
    AsFile({"HDG             0x00000005", "DG Select       0x00000001"});

TEST_F(ReadConfigurationTest, PlainExchangeStoresExactlyTheLinesBeforeTheEmptyLine) {
  StartConfiguredUnit([](auto& k) { k.checkedExchange = false; });
  SetUnitLines(kThreeLines);

  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);

  EXPECT_EQ(FileText(), AsFile(kThreeLines));
  EXPECT_EQ(LogCount("Done reading parameters\r\n"), 1);
  // The offer went unanswered: the handshake, then the plain request.
  EXPECT_EQ(UnitCommands().front(), "RX");
  EXPECT_EQ(Received("RP"), 1);
  EXPECT_GE(unit->Attentions(), 1);
  // Nothing of the checked exchange reaches a unit that did not take it.
  EXPECT_EQ(Received("OK line recvd"), 0);
  EXPECT_EQ(Received("ERROR line invalid"), 0);
  EXPECT_TRUE(exchange->Copies().empty());
  // The plain exchange sends nothing at the end.
  host.RunFor(100);
  EXPECT_EQ(UnitCommands().back(), "RP");
}

TEST_F(ReadConfigurationTest, PlainExchangeThatFallsSilentLeavesTheFileAsItWas) {
  StartConfiguredUnit([](auto& k) {
    k.checkedExchange = false;
    k.silentAfterLines = 2;
  });
  SetUnitLines(kThreeLines);
  WriteConfigFile(kSavedBefore);

  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kNoAnswer);

  EXPECT_EQ(FileText(), kSavedBefore);
  EXPECT_EQ(FileNamesIn(dir.Path()), OnlyTheFile());
  EXPECT_EQ(LogCount("Done reading parameters"), 0);
}

TEST_F(ReadConfigurationTest, CheckedExchangeAcknowledgesAndStoresEveryLine) {
  StartConfiguredUnit();
  std::vector<std::string> expected = UnitLines();
  ASSERT_EQ(expected.size(), 138u);

  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);

  EXPECT_EQ(FileLines(), expected);
  EXPECT_EQ(Received("RP"), 0);
  EXPECT_EQ(Received("OK line recvd"), 138);
  EXPECT_EQ(Received("ERROR line invalid"), 0);
  ASSERT_EQ(exchange->Copies().size(), 138u);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(exchange->Copies()[i], Copy(expected[i]));
  }
  // The loader closes the checked exchange with an empty line of its own.
  host.RunFor(100);
  EXPECT_EQ(UnitCommands().back(), "");
  EXPECT_NE(LogText().find("Reading configuration from Unit\r\n\n" + expected[0] + "\r\n\n"),
            std::string::npos);
}

TEST_F(ReadConfigurationTest, CheckedLineWithAWrongCheckCharacterIsRefusedAndNotStored) {
  // Wrong on the first send only: the unit's repetition is stored.
  StartConfiguredUnit([](auto& k) { k.wrongCheckLine = 1; });
  SetUnitLines(kThreeLines);
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);
  EXPECT_EQ(FileText(), AsFile(kThreeLines));
  ASSERT_EQ(exchange->Verdicts().size(), 4u);
  EXPECT_EQ(exchange->Verdicts()[1], "ERROR line invalid");
  // The refused line is reported as it came, with the loader's own check character.
  std::string received = exchange->Copies()[1];
  EXPECT_EQ(received.substr(0, 16), "Map1 Cat Select ");
  EXPECT_EQ(received.size(), 27u + 2 + 2);
  EXPECT_EQ(received.back(), LineCheckCharacter(kThreeLines[1]));
  EXPECT_EQ(exchange->Copies()[2], Copy(kThreeLines[1]));
}

TEST_F(ReadConfigurationTest, CheckedLineRefusedEveryTimeIsLeftOut) {
  StartConfiguredUnit([](auto& k) {
    k.wrongCheckLine = 1;
    k.wrongCheckSends = 3;
  });
  SetUnitLines(kThreeLines);
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);
  EXPECT_EQ(FileLines(), (std::vector<std::string>{kThreeLines[0], kThreeLines[2]}));
  EXPECT_EQ(Received("ERROR line invalid"), 3);
}

TEST_F(ReadConfigurationTest, EveryFifthMissingAnswerLogsMaxRetriesAndReadingGoesOn) {
  StartConfiguredUnit([](auto& k) { k.unansweredCopies = 16; });
  std::vector<std::string> expected = UnitLines();

  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);

  EXPECT_EQ(FileLines(), expected);
  EXPECT_EQ(LogCount("Unit Sent ''\r\n"), 16);
  // Failures 5, 10 and 15.
  EXPECT_EQ(LogCount("max retries exhausted\r\n"), 3);
}

TEST_F(ReadConfigurationTest, DamagedValueFieldRestartsThePlainExchangeWithAFreshFile) {
  StartConfiguredUnit([](auto& k) {
    k.checkedExchange = false;
    k.damagedLine = 5;
  });
  std::vector<std::string> expected = UnitLines();
  AnswerBoxes(1);

  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);

  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  const MessageBoxRequest& box = host.ShownBoxes()[0];
  EXPECT_EQ(box.text, kRestartBadValueText);
  EXPECT_EQ(box.caption, "Parameter Transfer Error ...");
  EXPECT_EQ(box.icon, BoxIcon::kWarning);
  EXPECT_EQ(box.owner, nullptr);
  EXPECT_EQ(LogCount("Parameter Transfer Error ... Restarting the Parameter Read\n"), 1);
  EXPECT_EQ(Received("RP"), 2);
  // Only the lines after the second request: each once.
  EXPECT_EQ(FileLines(), expected);
}

TEST_F(ReadConfigurationTest, InvalidCharacterInACheckedLineRestartsWithThePlainExchange) {
  StartConfiguredUnit([](auto& k) {
    k.damagedLine = 2;
    k.damage = sim::LineDamage::kInvalidCharacter;
  });
  std::vector<std::string> expected = UnitLines();
  AnswerBoxes(1);

  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);

  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text, kRestartInvalidCharacterText);
  EXPECT_EQ(FileLines(), expected);
  // Two lines acknowledged before the damage, none after the switch to "RP".
  EXPECT_EQ(Received("OK line recvd"), 2);
  EXPECT_EQ(Received("ERROR line invalid"), 0);
  EXPECT_EQ(Received("RP"), 1);
}

TEST_F(ReadConfigurationTest, EveryRestartShowsItsBox) {
  StartConfiguredUnit([](auto& k) {
    k.checkedExchange = false;
    k.damagedLine = 0;
    k.damagedAttempts = 3;
  });
  AnswerBoxes(3);
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);
  EXPECT_EQ(host.ShownBoxes().size(), 3u);
  EXPECT_EQ(Received("RP"), 4);
  EXPECT_EQ(FileLines().size(), 138u);
}

TEST_F(ReadConfigurationTest, PageEndedDuringTheRestartWarningSendsNoNewRequest) {
  StartConfiguredUnit([](auto& k) {
    k.checkedExchange = false;
    k.damagedLine = 3;
  });
  host.SetBoxHandler([this](const MessageBoxRequest&) {
    run.CancelRequested = true;
    SerialClose(run.link);
    return BoxAnswer::kOk;
  });
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kCancelled);
  EXPECT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(Received("RP"), 1);
}

TEST_F(ReadConfigurationTest, UnitStoppingMidLineEndsAfterOneRestartWithoutALine) {
  StartConfiguredUnit([](auto& k) {
    k.checkedExchange = false;
    k.cutLine = 1;
  });
  AnswerBoxes(1);
  WriteConfigFile(kSavedBefore);
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kNoAnswer);
  EXPECT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(FileText(), kSavedBefore);
  EXPECT_EQ(FileNamesIn(dir.Path()), OnlyTheFile());
}

TEST_F(ReadConfigurationTest, FileThatCannotBeCreatedEndsTheRead) {
  StartConfiguredUnit([](auto& k) { k.checkedExchange = false; });
  run.settings.configFile = dir.File("no-such-folder/param.dat");
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kStopped);
  EXPECT_EQ(LogCount("strerror says open error: No such file or directory\n"), 1);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(ReadConfigurationTest, FullDiskWarnsPerLineReadingGoesOnAndTheFileStaysAsItWas) {
  StartConfiguredUnit();
  SetUnitLines(kThreeLines);
  WriteConfigFile(kSavedBefore);
  host.SetBoxHandler([](const MessageBoxRequest&) { return BoxAnswer::kOk; });
  FailingFileIo full(0, FailingFileIo::kNever);

  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kStopped);

  EXPECT_EQ(FileText(), kSavedBefore);
  EXPECT_EQ(FileNamesIn(dir.Path()), OnlyTheFile());
  EXPECT_EQ(LogCount(kListNotWrittenWhole), 1);
  ASSERT_EQ(host.ShownBoxes().size(), 3u);
  for (const MessageBoxRequest& box : host.ShownBoxes()) {
    EXPECT_EQ(box.text, "File Write error\n");
    EXPECT_EQ(box.caption, "IO Error ...");
  }
  EXPECT_EQ(Received("OK line recvd"), 3);
}

TEST_F(ReadConfigurationTest, CancelEndsTheReadQuietly) {
  StartConfiguredUnit();
  host.At(1500, [this] { Cancel(); });
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kCancelled);
  EXPECT_LT(exchange->Copies().size(), 138u);
  EXPECT_LT(host.TickCount(), 1600);
}

TEST_F(ReadConfigurationTest, CancelBeforeTheListBeginsKeepsTheFileAsItWas) {
  // A unit without the checked exchange: the loader is in its handshake when
  // the user ends the page, and a saved configuration must survive that.
  StartConfiguredUnit([](auto& k) { k.checkedExchange = false; });
  unit->MutableKnobs().silent = true;
  WriteConfigFile(AsFile(kThreeLines));
  host.At(700, [this] {
    run.CancelRequested = true;
    SerialClose(run.link);
  });
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kCancelled);
  EXPECT_EQ(FileText(), AsFile(kThreeLines));
  EXPECT_EQ(Received("RP"), 0);
}

struct EarlyEnd {
  const char* name;
  std::function<void(sim::ConfigurationKnobs&)> knobs;
  Ending ending;
  // The unit's list: its own 138 lines, these, or none at all.
  enum { kOwn, kThese, kNone } list = kOwn;
  std::vector<std::string> unitLines = {};
};

TEST_F(ReadConfigurationTest, ReadThatEndsEarlyLeavesASavedFileByteForByte) {
  const EarlyEnd cases[] = {
      {"silent after OK", [](auto& k) { k.silentAfterLines = 0; }, Ending::kNoAnswer},
      {"silent after RP",
       [](auto& k) {
         k.checkedExchange = false;
         k.silentAfterLines = 0;
       },
       Ending::kNoAnswer},
      {"silent mid-list", [](auto& k) { k.silentAfterLines = 40; }, Ending::kNoAnswer},
      {"checked list cut", [](auto& k) { k.cutLine = 7; }, Ending::kNoAnswer},
      {"restart then silence",
       [](auto& k) {
         k.damagedLine = 3;
         k.silentAfterLines = 6;
       },
       Ending::kNoAnswer},
      {"every line refused three times",
       [](auto& k) {
         k.wrongCheckLine = 0;
         k.wrongCheckSends = 3;
       },
       Ending::kStopped,
       EarlyEnd::kThese,
       {kThreeLines[0]}},
      {"empty checked list", [](auto&) {}, Ending::kStopped, EarlyEnd::kNone},
      {"empty plain list", [](auto& k) { k.checkedExchange = false; }, Ending::kStopped,
       EarlyEnd::kNone},
  };
  for (const EarlyEnd& c : cases) {
    SCOPED_TRACE(c.name);
    StartConfiguredUnit(c.knobs);
    if (c.list == EarlyEnd::kNone) exchange->Store().Replace({});
    if (c.list == EarlyEnd::kThese) SetUnitLines(c.unitLines);
    WriteConfigFile(kSavedBefore);
    host.SetBoxHandler([](const MessageBoxRequest&) { return BoxAnswer::kOk; });

    Outcome outcome = ReadConfiguration(run);
    EXPECT_EQ(outcome.ending, c.ending);
    // However a read fails, the page asks the one question.
    EXPECT_EQ(outcome.question, kProblemReadingConfiguration);

    EXPECT_EQ(FileText(), kSavedBefore);
    EXPECT_EQ(FileNamesIn(dir.Path()), OnlyTheFile());
    EXPECT_EQ(LogCount("Earlier configuration kept"), 0);
  }
  EXPECT_EQ(LogCount(kNoParameterStored), 3);
}

TEST_F(ReadConfigurationTest, CancelAtAnyPointLeavesASavedFileByteForByte) {
  struct Case {
    const char* name;
    bool checked;
    std::int64_t at;  // 0: in the restart warning
  };
  const Case cases[] = {
      {"right after OK", true, 20},
      {"mid checked list", true, 1500},
      {"mid plain list", false, 1200},
      {"in the restart warning", false, 0},
      {"while flushing after a restart", false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartConfiguredUnit([&c](auto& k) {
      k.checkedExchange = c.checked;
      if (c.at <= 0) k.damagedLine = 60;
    });
    WriteConfigFile(kSavedBefore);
    run.CancelRequested = false;
    host.ClearShownBoxes();
    std::vector<std::string> namesWhileReading;
    if (c.at > 0) {
      host.At(host.TickCount() + c.at, [&] {
        namesWhileReading = FileNamesIn(dir.Path());
        Cancel();
      });
    }
    host.SetBoxHandler([this, &c](const MessageBoxRequest&) {
      if (c.at == 0) Cancel();
      if (c.at < 0) host.At(host.TickCount() + 100, [this] { Cancel(); });
      return BoxAnswer::kOk;
    });

    EXPECT_EQ(ReadConfiguration(run).ending, Ending::kCancelled);

    EXPECT_EQ(FileText(), kSavedBefore);
    EXPECT_EQ(FileNamesIn(dir.Path()), OnlyTheFile());
    EXPECT_EQ(exchange->ReadAttempts(), 1);
    EXPECT_EQ(host.ShownBoxes().size(), c.at <= 0 ? 1u : 0u);
    // The list went to a file of its own while it came.
    if (c.at > 0) {
      ASSERT_EQ(namesWhileReading.size(), 3u);
      EXPECT_EQ(namesWhileReading[1], "param.dat");
      EXPECT_EQ(namesWhileReading[2].rfind("param.dat.partial-", 0), 0u) << namesWhileReading[2];
    }
  }
}

TEST_F(ReadConfigurationTest, CompletedReadKeepsTheEarlierFileUnderTheNextNumber) {
  StartConfiguredUnit();
  const std::string unitList = AsFile(UnitLines());
  WriteConfigFile(kSavedBefore);

  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);
  EXPECT_EQ(FileText(), unitList);
  EXPECT_EQ(test::ReadFile(configPath + ".1"), kSavedBefore);
  EXPECT_EQ(LogCount("Earlier configuration kept as " + configPath + ".1\r\n"), 1);

  SetUnitLines(kThreeLines);
  ConfigurationFileChange change;
  EXPECT_EQ(ReadConfiguration(run, change).ending, Ending::kDone);
  EXPECT_TRUE(change.replaced);
  EXPECT_EQ(change.keptAs, configPath + ".2");
  EXPECT_EQ(FileText(), AsFile(kThreeLines));
  EXPECT_EQ(test::ReadFile(configPath + ".1"), kSavedBefore);
  EXPECT_EQ(test::ReadFile(configPath + ".2"), unitList);
  EXPECT_EQ(FileNamesIn(dir.Path()),
            (std::vector<std::string>{"Loader.LOG", "param.dat", "param.dat.1", "param.dat.2"}));
}

TEST_F(ReadConfigurationTest, FolderInPlaceOfTheFileIsNeitherReadIntoNorReplaced) {
  StartConfiguredUnit();
  std::filesystem::create_directory(configPath);
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kStopped);
  EXPECT_EQ(LogCount("strerror says open error: Is a directory\n"), 1);
  EXPECT_TRUE(std::filesystem::is_directory(configPath));
  EXPECT_EQ(FileNamesIn(dir.Path()), OnlyTheFile());
}

// A unit whose first answer to `command` is scripted; later ones are the real ones.
class ScriptedRead : public sim::UnitFeature {
 public:
  ScriptedRead(std::string command, std::string reply)
      : command_(std::move(command)), reply_(std::move(reply)) {}
  bool OnCommand(sim::UnitModel& unit, std::string_view line) override {
    if (used_ || line != command_) return false;
    used_ = true;
    unit.Send(reply_);
    return true;
  }

 private:
  std::string command_;
  std::string reply_;
  bool used_ = false;
};

class ScriptedReadTest : public ReadConfigurationTest {
 protected:
  void StartScriptedUnit(const std::string& command, const std::string& reply,
                         const Knobs& knobs = {}) {
    sim::ConfigurationKnobs set;
    if (knobs) knobs(set);
    SerialClose(run.link);
    StartUnit();
    unit->Make<ScriptedRead>(command, reply);
    exchange = &unit->Make<sim::ConfigurationExchange>(set);
    run.settings.configFile = configPath;
    OpenPort();
  }
};

TEST_F(ScriptedReadTest, GarbageAndEndlessLinesFromTheUnitEndInARestart) {
  struct Case {
    std::string reply;
    const char* box;
  };
  const Case cases[] = {
      {std::string("HDG\x01\xff\0 0x00000001\r\n\x80\x81\x82\r\n", 22),
       kRestartInvalidCharacterText},
      // 20,000 characters without a line end, taken in pieces of 254.
      {std::string(20000, 'A'), kRestartBadValueText},
  };
  for (const Case& c : cases) {
    StartScriptedUnit("RP", c.reply, [](auto& k) { k.checkedExchange = false; });
    host.ClearShownBoxes();
    host.AnswerNextBox(BoxAnswer::kOk);

    EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);

    ASSERT_EQ(host.ShownBoxes().size(), 1u);
    EXPECT_EQ(host.ShownBoxes()[0].text, c.box);
    EXPECT_EQ(FileLines(), UnitLines());
  }
}

TEST_F(ScriptedReadTest, CheckedLineTooShortForACheckCharacterFailsItsCheck) {
  // The unit answers the copy with something else, then ends its list.
  StartScriptedUnit("RX", "OK\r\nABC\r\nNO\r\n\r\n");

  // Nothing stored: a failed read.
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kStopped);
  host.RunFor(100);

  EXPECT_EQ(Received("ERROR line invalid"), 1);
  EXPECT_EQ(Received(std::string("ABC ") + LineCheckCharacter("ABC")), 1);
  EXPECT_FALSE(std::filesystem::exists(configPath));
  EXPECT_EQ(LogCount("Unit Sent 'NO'\r\n"), 1);
  EXPECT_EQ(UnitCommands().back(), "");
}

TEST_F(ScriptedReadTest, ShortLinesThatKeepTheDistanceRulesAreStored) {
  StartScriptedUnit("RP", "ABC\r\nx12345678\r\n\r\n", [](auto& k) { k.checkedExchange = false; });
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);
  EXPECT_EQ(FileText(), "ABC\r\nx12345678\r\n");
}

}  // namespace
}  // namespace rv4410
