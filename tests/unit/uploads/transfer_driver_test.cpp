// The transfer page's driver in virtual time: the page's opening and start
// timer, Read Configuration and Write Configuration from start to end, the
// reset after a write, the commands while an operation runs, and the results.

#include "uploads/transfer_driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "config/pending_restore.h"
#include "config/write_configuration.h"
#include "protocol/command_lines.h"
#include "protocol/page_results.h"
#include "support/virtual_unit_fixture.h"
#include "transfer_fixture.h"

namespace rv4410::test {
namespace {

constexpr const char* kGoodList =
    "ADF-1 Select    0x00000000\r\n"
    "DG Select       0x00000003\r\n"
    "HDG             0x00000167\r\n";

// Notes when the unit received each command line.
class CommandClock : public sim::UnitFeature {
 public:
  bool OnCommand(sim::UnitModel& unit, std::string_view line) override {
    received.emplace_back(std::string(line), unit.NowUs() / 1000);
    return false;
  }
  // When `command` was received, in ms; -1 if never.
  std::int64_t At(const std::string& command) const {
    for (const auto& [line, ms] : received) {
      if (line == command) return ms;
    }
    return -1;
  }
  std::vector<std::pair<std::string, std::int64_t>> received;
};

class TransferDriverTest : public TransferTest {
 protected:
  // The unit's clock of commands, first among its features.
  CommandClock& StartClockedUnit(sim::ConfigurationKnobs config = {}) {
    CommandClock* clock = nullptr;
    StartUnit({}, std::move(config),
              [&clock](sim::UnitModel& u) { clock = &u.Make<CommandClock>(); });
    return *clock;
  }
};

TEST_F(TransferDriverTest, ReadConfigurationRunsAfterASecondAndLeavesThePageOpen) {
  StartUnit();
  page.CommandAt(60'000, TransferCommand::kExit);
  EXPECT_EQ(RunTransfer(kReadConfiguration), kPageLeave);

  EXPECT_TRUE(page.iconSet);
  EXPECT_EQ(page.timersStarted, 1);
  EXPECT_EQ(page.progressMinimum, 0);
  EXPECT_EQ(page.progressMaximum, 1000);
  EXPECT_EQ(page.progressStep, 1);
  ASSERT_FALSE(page.progress.empty());
  EXPECT_EQ(page.progress.front(), 0);
  EXPECT_EQ(page.timerFiredAtMs, kTransferStartMs);
  EXPECT_EQ(page.log.text.rfind("Communications ready\r\n", 0), 0u) << page.log.text;
  EXPECT_NE(page.log.text.find("Done...\r\n"), std::string::npos);
  // The read ended long before the user pressed Exit; the page stayed open till then.
  EXPECT_LT(page.timerReturnedAtMs, 60'000);
  EXPECT_EQ(page.endedAtMs, 60'000);
  EXPECT_EQ(host.Beeps(), 2);
  EXPECT_FALSE(run.link.open);
  EXPECT_EQ(page.LastCursor(), CursorShape::kArrow);
  EXPECT_FALSE(state.OperationRunning);
  EXPECT_TRUE(page.exitEnabled);
  EXPECT_EQ(ReadFile(configPath).empty(), false);
  EXPECT_NE(LogText().find("... DoTransfer()"), std::string::npos);
  EXPECT_EQ(page.phases, std::vector<TransferPhase>{TransferPhase::kReadingConfiguration});
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(TransferDriverTest, BackAfterAFinishedReadReturnsToSetup) {
  StartUnit();
  page.CommandAt(30'000, TransferCommand::kBack);
  EXPECT_EQ(RunTransfer(kReadConfiguration), kPageBack);
  EXPECT_TRUE(run.CancelRequested);
}

TEST_F(TransferDriverTest, TheOperationShowsTheWorkingCursorAndTheFlagsSayWhich) {
  StartUnit();
  CursorShape during = CursorShape::kArrow;
  bool runningDuring = false;
  host.At(1500, [&] {
    during = page.LastCursor();
    runningDuring = state.OperationRunning;
  });
  page.CommandAt(30'000, TransferCommand::kExit);
  RunTransfer(kReadConfiguration);
  EXPECT_EQ(during, CursorShape::kAppStarting);
  EXPECT_TRUE(runningDuring);

  state.OperationRunning = true;
  EXPECT_EQ(TransferPageCursor(state), CursorShape::kAppStarting);
  state.BusyCursor = true;
  EXPECT_EQ(TransferPageCursor(state), CursorShape::kWait);
  state.OperationRunning = false;
  state.BusyCursor = false;
  EXPECT_EQ(TransferPageCursor(state), CursorShape::kArrow);
}

TEST_F(TransferDriverTest, BackDuringAReadEndsThePageWithoutAQuestion) {
  sim::ConfigurationKnobs knobs;
  knobs.silentAfterLines = 1;
  StartUnit({}, knobs);
  page.CommandAt(2500, TransferCommand::kBack);
  EXPECT_EQ(RunTransfer(kReadConfiguration), kPageBack);
  EXPECT_EQ(page.endedAtMs, 2500);
  EXPECT_TRUE(host.ShownBoxes().empty());
  EXPECT_EQ(page.log.text.find("Done..."), std::string::npos);
  EXPECT_FALSE(run.link.open);
  // Run returned once the read had noticed the cancel and the page was gone.
  EXPECT_EQ(page.returnedAtMs, 2500);
}

TEST_F(TransferDriverTest, AFailedReadAsksAndYesGoesBackToTheWaitingPage) {
  sim::ConfigurationKnobs knobs;
  knobs.silentAfterLines = 2;
  StartUnit({}, knobs);
  host.AnswerNextBox(BoxAnswer::kYes);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(RunTransfer(kReadConfiguration), kPageTryAgain);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Problem reading configuration\nTry again?",
                                                  kResetUnitNote}));
  EXPECT_FALSE(run.link.open);
  EXPECT_NE(LogText().find("Error:Problem reading configuration"), std::string::npos);
}

TEST_F(TransferDriverTest, AFailedReadAnsweredNoLeaves) {
  sim::ConfigurationKnobs knobs;
  knobs.silentAfterLines = 0;
  StartUnit({}, knobs);
  host.AnswerNextBox(BoxAnswer::kNo);
  EXPECT_EQ(RunTransfer(kReadConfiguration), kPageLeave);
  EXPECT_EQ(host.ShownBoxes().size(), 1u);
}

TEST_F(TransferDriverTest, APortThatCannotBeOpenedEndsThePageBeforeTheTimer) {
  StartUnit();
  host.Device().SetHeldElsewhere(true);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(RunTransfer(kReadConfiguration), kPageLeave);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text, "Could not open COM1.");
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Quitting");
  EXPECT_EQ(host.ShownBoxes()[0].icon, BoxIcon::kError);
  EXPECT_EQ(host.ShownBoxes()[0].owner, page.Window());
  EXPECT_EQ(page.endedAtMs, 0);
  EXPECT_EQ(page.timersStarted, 0);
  host.RunFor(5000);
  EXPECT_EQ(page.timerFiredAtMs, -1);
  EXPECT_NE(LogText().find("Could not open COM1."), std::string::npos);
}

TEST_F(TransferDriverTest, BackBeforeTheTimerFiresStartsNothing) {
  StartUnit();
  page.CommandAt(500, TransferCommand::kBack);
  EXPECT_EQ(RunTransfer(kReadConfiguration), kPageBack);
  host.RunFor(5000);
  EXPECT_EQ(page.timerFiredAtMs, -1);
  EXPECT_TRUE(unit->Commands().empty());
}

TEST_F(TransferDriverTest, WriteToAnIdentifiedUnitResetsItTwoSecondsAfterItsOk) {
  CommandClock& clock = StartClockedUnit();
  WriteFile(configPath, kGoodList);
  run.UnitInfoValid = true;
  page.CommandAt(60'000, TransferCommand::kExit);
  EXPECT_EQ(RunTransfer(kWriteConfiguration), kPageLeave);

  ASSERT_EQ(exchange->CompletedWrites(), 1);
  std::int64_t listEnd = -1;
  for (const auto& [line, ms] : clock.received) {
    if (line.empty()) listEnd = ms;
  }
  std::int64_t reset = clock.At("RESET");
  ASSERT_GE(reset, 0);
  EXPECT_GE(reset - listEnd, kResetPauseMs);
  EXPECT_LT(reset - listEnd, kResetPauseMs + 100);
  EXPECT_EQ(unit->Commands().back(), "RESET");
  EXPECT_NE(page.log.text.find("Resetting Unit\r\nDone...\r\n"), std::string::npos);
  EXPECT_EQ(page.phases, std::vector<TransferPhase>{TransferPhase::kWritingConfiguration});
  EXPECT_EQ(host.Beeps(), 2);
  EXPECT_FALSE(run.link.open);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(TransferDriverTest, WriteToAnUnidentifiedUnitAsksForAResetInstead) {
  StartUnit();
  WriteFile(configPath, kGoodList);
  run.UnitInfoValid = false;
  page.CommandAt(60'000, TransferCommand::kExit);
  EXPECT_EQ(RunTransfer(kWriteConfiguration), kPageLeave);
  EXPECT_EQ(exchange->CompletedWrites(), 1);
  EXPECT_EQ(std::count(unit->Commands().begin(), unit->Commands().end(), "RESET"), 0);
  EXPECT_NE(page.log.text.find(std::string(kUnitNeedsReset) + "Done...\r\n"), std::string::npos);
}

// Write Configuration of a file whose list a program upload still owes a
// unit is the technician's restore by hand: once a unit has taken it, the
// record goes; a list the unit never took leaves it.
TEST_F(TransferDriverTest, AWriteTheUnitTookSettlesARestorePendingForItsFile) {
  for (bool answered : {false, true}) {
    SCOPED_TRACE(answered ? "answered" : "unanswered");
    StartUnit({}, {},
              [answered](sim::UnitModel& u) { u.Make<ListEndSwallower>().armed = !answered; });
    WriteFile(configPath, kGoodList);
    WriteFile(configPath + kPendingRestoreSuffix, "a record");
    host.ClearShownBoxes();
    if (!answered) host.AnswerNextBox(BoxAnswer::kNo);
    VirtualTransferPage fresh(host, state);
    fresh.CommandAt(host.TickCount() + 60'000, TransferCommand::kExit);
    run.settings.function = kWriteConfiguration;
    DoTransfer(state, fresh);
    EXPECT_EQ(std::filesystem::exists(configPath + kPendingRestoreSuffix), !answered);
    EXPECT_EQ(LogText().find("is removed: Write Configuration has sent the file to a unit") !=
                  std::string::npos,
              answered);
  }
}

TEST_F(TransferDriverTest, AWriteWhoseFileCannotBeOpenedSendsNothingAndWaitsForNothing) {
  StartUnit();
  run.settings.configFile = dir.File("missing.dat");
  host.AnswerNextBox(BoxAnswer::kOk);
  page.CommandAt(60'000, TransferCommand::kExit);
  EXPECT_EQ(RunTransfer(kWriteConfiguration), kPageLeave);
  // One box, the write's own; no "Operation timed out".
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Error");
  EXPECT_EQ(BoxTexts()[0].find("Operation timed out"), std::string::npos);
  EXPECT_TRUE(unit->Commands().empty());
  EXPECT_TRUE(page.exitEnabled);
  EXPECT_EQ(page.LastCursor(), CursorShape::kArrow);
  EXPECT_LT(page.timerReturnedAtMs, kTransferStartMs + 100);
  EXPECT_EQ(page.log.text.find("Done..."), std::string::npos);
}

TEST_F(TransferDriverTest, AnUnansweredListIsAskedAboutWithThePortClosedAndReported) {
  StartUnit({}, {}, [](sim::UnitModel& u) { u.Make<ListEndSwallower>(); });
  WriteFile(configPath, kGoodList);
  std::vector<bool> portOpenAtBox;
  host.SetBoxHandler([&](const MessageBoxRequest&) {
    portOpenAtBox.push_back(run.link.open);
    return BoxAnswer::kNo;
  });
  EXPECT_EQ(RunTransfer(kWriteConfiguration), kPageLeave);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kOperationTimedOut});
  // The page closes the port before it asks.
  EXPECT_EQ(portOpenAtBox, std::vector<bool>{false});
  ASSERT_EQ(page.outcomes.size(), 1u);
  EXPECT_EQ(page.outcomes[0].ending, Ending::kNoAnswer);
  EXPECT_FALSE(run.link.open);
}

TEST_F(TransferDriverTest, ExitDuringTheResetPauseSendsNoReset) {
  CommandClock& clock = StartClockedUnit();
  WriteFile(configPath, kGoodList);
  run.UnitInfoValid = true;
  // The list and its answer take well under two seconds at 9600 baud with a
  // three-line file; the pause is running at 2500 ms.
  host.At(2000, [&] { ASSERT_GE(clock.At(""), 0); });
  page.CommandAt(2600, TransferCommand::kExit);
  EXPECT_EQ(RunTransfer(kWriteConfiguration), kPageLeave);
  host.RunFor(5000);
  EXPECT_EQ(clock.At("RESET"), -1);
  EXPECT_EQ(page.log.text.find("Done..."), std::string::npos);
}

TEST_F(TransferDriverTest, EveryCommandEndsThePageWithItsResult) {
  const std::vector<std::pair<TransferCommand, int>> cases = {
      {TransferCommand::kNext, kPageNext},
      {TransferCommand::kBack, kPageBack},
      {TransferCommand::kExit, kPageLeave},
      {TransferCommand::kClose, kPageLeave},
  };
  for (const auto& [command, result] : cases) {
    StartUnit();
    VirtualTransferPage each(host, state);
    each.CommandAt(host.TickCount() + 200, command);
    run.settings.function = kReadConfiguration;
    EXPECT_EQ(DoTransfer(state, each), result);
    EXPECT_TRUE(run.CancelRequested);
    EXPECT_FALSE(run.link.open);
  }
}

TEST_F(TransferDriverTest, TheLogWindowIsLetGoWhenThePageEnds) {
  StartUnit();
  page.CommandAt(30'000, TransferCommand::kBack);
  RunTransfer(kReadConfiguration);
  std::string shown = page.log.text;
  run.log.LogPrintf("after the page\r\n");
  EXPECT_EQ(page.log.text, shown);
  EXPECT_TRUE(page.log.fontFamily.empty());
}

TEST_F(TransferDriverTest, AskUploadAnotherNotesTheNextUnitOnYes) {
  host.AnswerNextBox(BoxAnswer::kYes);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(AskUploadAnother(run), 1);
  ASSERT_EQ(host.ShownBoxes().size(), 2u);
  EXPECT_EQ(host.ShownBoxes()[0].text, "Program upload completed\nUpload to another unit?");
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Done");
  EXPECT_EQ(host.ShownBoxes()[0].buttons, BoxButtons::kYesNo);
  EXPECT_EQ(host.ShownBoxes()[0].icon, BoxIcon::kInformation);
  EXPECT_EQ(host.ShownBoxes()[1].text,
            "Please remove the unit and\nattach a new unit to be upgraded...");
  EXPECT_EQ(host.ShownBoxes()[1].caption, "Note");
  host.ClearShownBoxes();
  host.AnswerNextBox(BoxAnswer::kNo);
  EXPECT_EQ(AskUploadAnother(run), 0);
  EXPECT_EQ(host.ShownBoxes().size(), 1u);
}

}  // namespace
}  // namespace rv4410::test
