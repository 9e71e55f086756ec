// Write Program against a whole simulated unit in virtual time: both
// variants from the configuration save to the reset, and the ways they fail.

#include "uploads/program_upload.h"

#include <gtest/gtest.h>

#include "datafiles/program_file.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/pending_restore.h"
#include "config/saved_configuration.h"
#include "protocol/command_lines.h"
#include "protocol/page_results.h"
#include "support/image_builders.h"
#include "support/image_bytes.h"
#include "transfer_fixture.h"
#include "uploads/upload_steps.h"

namespace rv4410::test {
namespace {

// Every byte the unit hears, in order, on its way to the unit.
class WireTap : public VirtualPeer {
 public:
  explicit WireTap(VirtualPeer& line) : line_(line) {}
  void ReceiveByte(std::uint8_t byte, int baud, std::int64_t atUs) override {
    bytes.push_back(byte);
    line_.ReceiveByte(byte, baud, atUs);
  }
  void ReceiveBreak(std::int64_t fromUs, std::int64_t toUs) override {
    line_.ReceiveBreak(fromUs, toUs);
  }
  void AdvanceTo(std::int64_t nowUs) override { line_.AdvanceTo(nowUs); }
  std::int64_t NextEventUs() const override { return line_.NextEventUs(); }
  bool TakeByte(std::int64_t untilUs, int loaderBaud, std::uint8_t& byte) override {
    return line_.TakeByte(untilUs, loaderBaud, byte);
  }
  std::vector<std::uint8_t> bytes;

 private:
  VirtualPeer& line_;
};

class ProgramUploadTest : public TransferTest {
 protected:
  // A unit that identified itself (the block variant) or not (the raw one).
  void Prepare(std::size_t length, bool identified, sim::SimOptions options = WholeUnitOptions()) {
    StartWholeUnit(std::move(options),
                   [this](sim::UnitModel& u) { swallower = &u.Make<ListEndSwallower>(); });
    swallower->armed = false;
    image = BuildProgramImage({.length = length, .seed = static_cast<std::uint32_t>(length)});
    LoadImage(image);
    run.UnitInfoValid = identified;
    parametersBefore = UnitParameters();
  }
  // Runs Write Program; a page left open is ended with Exit long after.
  int Upload() {
    page.CommandAt(host.TickCount() + kLongAfterMs, TransferCommand::kExit);
    return RunTransfer(kWriteProgram);
  }
  // Whether the page was still open when the upload returned.
  bool LeftOpen() const { return page.endedAtMs > page.timerReturnedAtMs; }
  int Sent(const std::string& command) const { return Count(unit->Commands(), command); }
  bool StatusShowed(const std::string& text) const {
    return std::find(page.status1033.begin(), page.status1033.end(), text) != page.status1033.end();
  }

  // The next attempt, as the waiting page starts it after "Try again?", on
  // a page of its own (`again`). Every page stays until the test ends: its
  // Exit is still scheduled.
  int UploadAgain() {
    pages.push_back(std::make_unique<VirtualTransferPage>(host, state));
    again = pages.back().get();
    again->CommandAt(host.TickCount() + kLongAfterMs, TransferCommand::kExit);
    run.settings.function = kWriteProgram;
    return DoTransfer(state, *again);
  }

  static constexpr std::int64_t kLongAfterMs = 3'000'000;
  ListEndSwallower* swallower = nullptr;
  std::vector<std::unique_ptr<VirtualTransferPage>> pages;
  VirtualTransferPage* again = nullptr;
  std::vector<std::uint8_t> image;
  std::vector<std::string> parametersBefore;
};

// Both variants go through the same phases, in this order.
const std::vector<TransferPhase> kProgramPhases{
    TransferPhase::kReadingConfiguration, TransferPhase::kSendingProgram,
    TransferPhase::kWritingFlash, TransferPhase::kRestoringConfiguration};

TEST_F(ProgramUploadTest, BlocksReachTheFlashAndTheConfigurationComesBack) {
  Prepare(5000, true);
  EXPECT_EQ(Upload(), kPageLeave);
  ASSERT_EQ(program->FlashCommits(), 1);
  EXPECT_EQ(program->Flashed(), image);
  EXPECT_EQ(UnitParameters(), parametersBefore);
  EXPECT_EQ(exchange->CompletedWrites(), 1);
  EXPECT_EQ(unit->Commands().back(), "RESET");
  EXPECT_TRUE(LeftOpen());
  EXPECT_TRUE(page.exitEnabled);
  EXPECT_EQ(page.LastCursor(), CursorShape::kArrow);
  EXPECT_FALSE(state.BusyCursor);
  EXPECT_EQ(page.status1033.back(), "          Done          ");
  EXPECT_EQ(page.progress.back(), 1000);
  EXPECT_EQ(page.status1032.back(), "sent 5000 of 5000 bytes");
  EXPECT_EQ(page.phases, kProgramPhases);
  EXPECT_TRUE(host.ShownBoxes().empty());
  EXPECT_FALSE(run.link.open);
  std::string log = page.log.text;
  for (const char* step :
       {"Sending Program Data, 5000 bytes...", "Writing to flash", "Waiting for Unit to Reset",
        "Writing configuration back to the Unit", "Resetting Unit\r\nDone...\r\n"}) {
    EXPECT_NE(log.find(step), std::string::npos) << step;
  }
  // The configuration was read from the unit before anything else was said.
  EXPECT_NE(ReadFile(configPath).find("DG Select"), std::string::npos);
}

TEST_F(ProgramUploadTest, ProgressIsPerMilleAndTouchedOnlyWhenItChanges) {
  Prepare(256 + 3 * 1024 + 100, true);
  Upload();
  // 3 full blocks and a short one: 1280, 2304, 3328, 3428 of 3428.
  EXPECT_EQ(page.progress, (std::vector<int>{0, 373, 672, 970, 1000}));
}

TEST_F(ProgramUploadTest, AnImageOfJustTheControlBlockSendsNoDataBlock) {
  Prepare(256, true);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(program->Blocks(), 0u);
  EXPECT_EQ(page.progress, std::vector<int>{0});
  EXPECT_EQ(program->Flashed(), image);
}

TEST_F(ProgramUploadTest, AUnitThatNeverAnswersIsAskedAfterTenAttempts) {
  sim::SimOptions options = WholeUnitOptions();
  options.program.blocks.neverAnswer = true;
  Prepare(3000, true, options);
  host.AnswerNextBox(BoxAnswer::kNo);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(program->Attempts(0), 10);
  EXPECT_EQ(page.status1033.back(), "    Retry count 10    ");
  EXPECT_NE(LogText().find("Unit sent 'no reply'"), std::string::npos);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kUnitRepliedError});
  EXPECT_FALSE(run.link.open);
  EXPECT_EQ(program->FlashCommits(), 0);
}

TEST_F(ProgramUploadTest, ABlockTakenAtItsTenthAttemptGoesOnWithTheCountStartedAgain) {
  sim::SimOptions options = WholeUnitOptions();
  options.program.blocks.faultBlock = 1;
  options.program.blocks.faultTimes = 9;
  options.program.blocks.fault = sim::BlockFault::kErrorLine;
  Prepare(4000, true, options);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(program->Attempts(1), 10);
  EXPECT_TRUE(StatusShowed("    Retry count 9    "));
  EXPECT_FALSE(StatusShowed("    Retry count 10    "));
  EXPECT_EQ(program->Flashed(), image);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(ProgramUploadTest, AGarbledAcknowledgementIsNoAcknowledgement) {
  sim::SimOptions options = WholeUnitOptions();
  options.program.blocks.faultBlock = 0;
  options.program.blocks.faultTimes = 2;
  options.program.blocks.fault = sim::BlockFault::kGarble;
  Prepare(2000, true, options);
  Upload();
  EXPECT_EQ(program->Attempts(0), 3);
  EXPECT_EQ(program->Flashed(), image);
}

TEST_F(ProgramUploadTest, BeginLinesEachGetAFullWait) {
  sim::SimOptions options = WholeUnitOptions();
  // A write of 20 minutes with a "Begin" line every 200 s: far longer than
  // one 240 s wait, never 240 s without a line.
  options.program.flash.eraseUs = 200'000'000;
  options.program.flash.usPerKiB = 500'000'000;
  options.program.flash.beginEveryUs = 200'000'000;
  Prepare(2000, true, options);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(program->FlashCommits(), 1) << page.log.text;
  std::string log = page.log.text;
  int begins = 0;
  for (std::size_t at = log.find("Unit sent 'Begin"); at != std::string::npos;
       at = log.find("Unit sent 'Begin", at + 1)) {
    ++begins;
  }
  EXPECT_GE(begins, 6);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(ProgramUploadTest, AFlashWriteThatFallsSilentAfterBeginIsATimeout) {
  sim::SimOptions options = WholeUnitOptions();
  options.program.flash.silent = true;
  Prepare(2000, true, options);
  host.AnswerNextBox(BoxAnswer::kYes);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(Upload(), kPageTryAgain);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kOperationTimedOut, kResetUnitNote}));
  EXPECT_EQ(Sent("W"), 1);
}

TEST_F(ProgramUploadTest, AFailedFlashWriteAsksItsOwnQuestion) {
  sim::SimOptions options = WholeUnitOptions();
  options.program.flash.failLine = "ERROR flash";
  Prepare(2000, true, options);
  host.AnswerNextBox(BoxAnswer::kNo);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Flash Write failed\nTry again?"});
  EXPECT_NE(LogText().find("Unit sent 'ERROR flash'"), std::string::npos);
}

TEST_F(ProgramUploadTest, RetryMakesTheBlockVariantFindTheUnitAgainBeforeEachWrite) {
  sim::SimOptions options = WholeUnitOptions();
  options.program.flash.retryTimes = 3;
  Prepare(2000, true, options);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(Sent("W"), 4);
  // One break before the first write, and one before each repeated one.
  EXPECT_GE(unit->Breaks(), 4);
  EXPECT_EQ(program->FlashCommits(), 1);
}

TEST_F(ProgramUploadTest, TheRawVariantStreamsTheImageAndAsksForAnotherUnit) {
  Prepare(1000, false);
  host.AnswerNextBox(BoxAnswer::kNo);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(Sent("BC 3E8"), 1);
  EXPECT_EQ(Sent("D"), 1);
  EXPECT_EQ(program->Flashed(), image);
  EXPECT_EQ(UnitParameters(), parametersBefore);
  // The reset's last bytes had left before the page ended.
  EXPECT_EQ(unit->Commands().back(), "RESET");
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kUploadAnotherQuestion});
  EXPECT_TRUE(StatusShowed("   Sending Program At 9600 Baud   "));
  EXPECT_EQ(page.status1033.back(), "       DONE       ");
  EXPECT_EQ(page.progress.back(), 1000);
  EXPECT_EQ(page.phases, kProgramPhases);
  EXPECT_FALSE(LeftOpen());
  EXPECT_NE(
      page.log.text.find(std::string("Resetting Unit...\r\n") + kUnitNeedsReset + "Done...\r\n"),
      std::string::npos);
}

TEST_F(ProgramUploadTest, BothVariantsEndWithAResetHeardAt1200ThoughThePortRestsAt9600) {
  // Closing hands the port back at 9600: the reset must be out before.
  for (bool identified : {true, false}) {
    SCOPED_TRACE(identified ? "blocks" : "raw");
    sim::SimOptions options = WholeUnitOptions();
    options.line.speed = 1200;
    Prepare(256 + 512, identified, options);
    run.settings.baudRate = 1200;
    if (!identified) host.AnswerNextBox(BoxAnswer::kNo);
    UploadAgain();
    EXPECT_EQ(program->FlashCommits(), 1);
    EXPECT_EQ(Sent("RESET"), 1);
  }
}

TEST_F(ProgramUploadTest, YesToAnotherUnitGoesBackToTheWaitingPage) {
  Prepare(600, false);
  host.AnswerNextBox(BoxAnswer::kYes);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(Upload(), kPageTryAgain);
  EXPECT_EQ(BoxTexts(), (std::vector<std::string>{kUploadAnotherQuestion, kAttachNewUnitNote}));
}

TEST_F(ProgramUploadTest, TheRawVariantStreamsAnImageOfJustTheControlBlock) {
  Prepare(256, false);
  host.AnswerNextBox(BoxAnswer::kNo);
  Upload();
  EXPECT_EQ(Sent("BC 100"), 1);
  EXPECT_EQ(program->Flashed(), image);
}

TEST_F(ProgramUploadTest, RetryMakesTheRawVariantOnlyWriteAgain) {
  sim::SimOptions options = WholeUnitOptions();
  options.program.flash.retryTimes = 2;
  Prepare(700, false, options);
  host.AnswerNextBox(BoxAnswer::kNo);
  Upload();
  EXPECT_EQ(Sent("W"), 3);
  EXPECT_EQ(unit->Breaks(), 0);
  // No probe before any of them.
  const std::vector<std::string>& commands = unit->Commands();
  for (std::size_t i = 1; i < commands.size(); ++i) {
    if (commands[i] == "W") {
      EXPECT_NE(commands[i - 1], "") << i;
    }
  }
  EXPECT_EQ(program->FlashCommits(), 1);
}

TEST_F(ProgramUploadTest, ASetUpThatGivesUpLeavesThePageOpenWithItsLog) {
  sim::SimOptions options = WholeUnitOptions();
  options.speeds.ignoreLoadMode = true;
  Prepare(2000, true, options);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_TRUE(LeftOpen());
  EXPECT_TRUE(page.exitEnabled);
  EXPECT_TRUE(host.ShownBoxes().empty());
  EXPECT_NE(LogText().find("Send baud rate message:BR 9600"), std::string::npos);
  EXPECT_EQ(program->Blocks(), 0u);
}

TEST_F(ProgramUploadTest, ExitIsDisabledWhileTheUploadRunsButBackEndsIt) {
  Prepare(20'000, true);
  bool exitDuring = true;
  host.At(8000, [&] { exitDuring = page.exitEnabled; });
  page.CommandAt(9000, TransferCommand::kBack);
  EXPECT_EQ(RunTransfer(kWriteProgram), kPageBack);
  EXPECT_FALSE(exitDuring);
  EXPECT_FALSE(run.link.open);
  EXPECT_EQ(program->FlashCommits(), 0);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(ProgramUploadTest, ACancelDuringTheRestartWaitStopsTheUpload) {
  Prepare(600, true);
  std::int64_t resetWaitStart = -1;
  host.Every(10, [&] {
    if (resetWaitStart < 0 &&
        page.log.text.find("Waiting for Unit to Reset") != std::string::npos) {
      resetWaitStart = host.TickCount();
      page.CommandAt(resetWaitStart + 1000, TransferCommand::kBack);
      return false;
    }
    return true;
  });
  EXPECT_EQ(RunTransfer(kWriteProgram), kPageBack);
  ASSERT_GE(resetWaitStart, 0);
  EXPECT_EQ(page.endedAtMs, resetWaitStart + 1000);
  EXPECT_EQ(exchange->CompletedWrites(), 0);
  EXPECT_EQ(Sent("RESET"), 0);
}

TEST_F(ProgramUploadTest, ALineThatHangsUpMidUploadEndsInTheQuestionWithTheSavedFileIntact) {
  sim::SimOptions options = WholeUnitOptions();
  options.program.hangUp.phase = sim::HangUpPhase::kBlock;
  options.program.hangUp.block = 1;
  Prepare(4000, true, options);
  host.AnswerNextBox(BoxAnswer::kNo);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kUnitRepliedError});
  // Asked at once: no attempt is made on a line that went away.
  EXPECT_FALSE(StatusShowed("    Retry count 1    "));
  EXPECT_NE(LogText().find(FormatText(kLineWentAwayFormat, "COM1")), std::string::npos);
  ASSERT_EQ(page.outcomes.size(), 1u);
  EXPECT_EQ(page.outcomes[0].ending, Ending::kLineGone);
  EXPECT_FALSE(run.link.open);
  EXPECT_EQ(program->FlashCommits(), 0);
  // What the unit held, saved before the upload began, is in the file.
  std::string saved = ReadFile(configPath);
  for (const std::string& line : parametersBefore) {
    EXPECT_NE(saved.find(line + "\r\n"), std::string::npos) << line;
  }
}

// The line hangs up while the upload waits for the unit: in the flash write,
// while it restarts, in the restore. The page asks what a silent unit gets,
// at once rather than when the wait's limit has passed.
class ProgramUploadHangUpTest : public ProgramUploadTest,
                                public ::testing::WithParamInterface<const char*> {};

TEST_P(ProgramUploadHangUpTest, ALineGoneInAWaitIsAskedAboutAtOnce) {
  sim::SimOptions options = WholeUnitOptions();
  const std::string phase = GetParam();
  if (phase == "restore") {
    options.configuration.hangUpAtWriteLine = 1;
  } else {
    ASSERT_TRUE(sim::ParseHangUp(phase, options.program.hangUp));
  }
  Prepare(3000, true, options);
  host.AnswerNextBox(BoxAnswer::kNo);
  EXPECT_EQ(Upload(), kPageLeave);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{kOperationTimedOut});
  ASSERT_EQ(page.outcomes.size(), 1u);
  EXPECT_EQ(page.outcomes[0].ending, Ending::kLineGone);
  EXPECT_NE(LogText().find(FormatText(kLineWentAwayFormat, "COM1")), std::string::npos);
  std::int64_t hangUpMs = -1;
  for (const sim::JournalEntry& entry : unit->Log().Entries()) {
    if (entry.event == "hang-up") hangUpMs = entry.atUs / 1000;
  }
  ASSERT_GE(hangUpMs, 0);
  EXPECT_LT(page.endedAtMs - hangUpMs, 1000);
  EXPECT_FALSE(run.link.open);
}

INSTANTIATE_TEST_SUITE_P(Waits, ProgramUploadHangUpTest,
                         ::testing::Values("flash", "restart", "restore"));

TEST_F(ProgramUploadTest, AFailedFlashWriteTriedAgainRestoresWhatTheUnitHeldFirst) {
  sim::SimOptions options = WholeUnitOptions();
  options.program.flash.failLine = "ERROR flash";
  Prepare(3000, true, options);
  host.AnswerNextBox(BoxAnswer::kYes);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(Upload(), kPageTryAgain);
  const std::string saved = ReadFile(configPath);
  EXPECT_NE(saved.find("DG Select"), std::string::npos);

  program->Knobs().flash.failLine.clear();
  EXPECT_EQ(UploadAgain(), kPageLeave);
  EXPECT_EQ(program->Flashed(), image);
  EXPECT_EQ(UnitParameters(), parametersBefore);
  // The unit still held the list saved: the file keeps it, and no copy of
  // the same list is made.
  EXPECT_EQ(ReadFile(configPath), saved);
  EXPECT_FALSE(std::filesystem::exists(configPath + ".1"));
  EXPECT_NE(LogText().find("goes back to the unit: the unit holds the list saved"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(configPath + kPendingRestoreSuffix));
}

TEST_F(ProgramUploadTest, AUnitThatForgotItsConfigurationGetsBackWhatItHeldBeforeTheFirstAttempt) {
  sim::SimOptions options = WholeUnitOptions();
  options.program.flash.forgetConfiguration = true;
  Prepare(3000, true, options);
  // The first attempt's restore goes unanswered: the unit holds erased values.
  swallower->armed = true;
  swallower->wholeList = true;
  host.AnswerNextBox(BoxAnswer::kYes);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(Upload(), kPageTryAgain);
  EXPECT_EQ(BoxTexts()[0], kOperationTimedOut);
  ASSERT_NE(UnitParameters(), parametersBefore);

  swallower->armed = false;
  host.ClearShownBoxes();
  EXPECT_EQ(UploadAgain(), kPageLeave);
  // Erased values and the same identification: the same unit, no question.
  EXPECT_TRUE(host.ShownBoxes().empty());
  EXPECT_EQ(UnitParameters(), parametersBefore);
  // The first save stays in the file and is what went back; what the second
  // attempt read (erased values) is kept beside it.
  EXPECT_EQ(ReadFile(configPath).find("DG Select       0xFFFFFFFF"), std::string::npos);
  EXPECT_NE(ReadFile(configPath + ".1").find("DG Select       0xFFFFFFFF"), std::string::npos);
}

// A unit that ended its list without a line holds no configuration: the
// technician decides whether its program is written all the same.
TEST_F(ProgramUploadTest, AUnitWithAnEmptyListIsProgrammedOnlyWhenTheTechnicianSaysYes) {
  for (bool identified : {true, false}) {
    for (BoxAnswer answer : {BoxAnswer::kYes, BoxAnswer::kNo}) {
      SCOPED_TRACE(std::string(identified ? "block" : "raw") +
                   (answer == BoxAnswer::kYes ? ", Yes" : ", No"));
      sim::SimOptions options = WholeUnitOptions();
      options.configuration.emptyList = true;
      Prepare(2000, identified, options);
      WriteFile(configPath, "HDG             0x00000005\r\n");
      host.ClearShownBoxes();
      host.AnswerNextBox(answer);
      if (answer == BoxAnswer::kYes && !identified) host.AnswerNextBox(BoxAnswer::kNo);
      UploadAgain();
      ASSERT_FALSE(BoxTexts().empty());
      EXPECT_EQ(BoxTexts()[0], kNoConfigurationQuestion);
      // Never replaced by nothing, and no restore to record.
      EXPECT_EQ(ReadFile(configPath), "HDG             0x00000005\r\n");
      EXPECT_FALSE(std::filesystem::exists(configPath + kPendingRestoreSuffix));
      if (answer == BoxAnswer::kYes) {
        EXPECT_EQ(program->Flashed(), image);
        // The restore: the offer and the list's end, nothing between.
        const std::vector<std::string>& commands = unit->Commands();
        auto offer = std::find(commands.begin(), commands.end(), "WX");
        ASSERT_NE(offer, commands.end());
        ASSERT_NE(offer + 1, commands.end());
        EXPECT_EQ(*(offer + 1), "");
        EXPECT_EQ(exchange->CompletedWrites(), 1);
        EXPECT_EQ(again->status1033.back(), identified ? kStatusDoneBlock : kStatusDoneRaw);
      } else {
        EXPECT_EQ(program->FlashCommits(), 0);
        EXPECT_EQ(Sent("W") + Sent("P") + Sent("BC 7D0"), 0);
        EXPECT_GT(again->endedAtMs, again->timerReturnedAtMs);
        EXPECT_FALSE(run.link.open);
        EXPECT_NE(again->log.text.find(kUploadStoppedBeforeSending), std::string::npos);
      }
    }
  }
}

// After a failed flash write and "Try again?", another unit is attached:
// it never gets the first unit's list unless the technician says so.
TEST_F(ProgramUploadTest, AUnitSwappedAfterAFailedFlashWriteNeverGetsTheFirstUnitsListSilently) {
  struct Case {
    const char* name;
    std::int64_t serial;                // the second unit's "PTEST Sernum"
    std::optional<BoxAnswer> question;  // the answer to which list goes back
  };
  const Case cases[] = {
      {"another serial number", 777, {}},
      {"no serial number, the unit's own list", 0, BoxAnswer::kNo},
      {"no serial number, stop", 0, BoxAnswer::kCancel},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* suffix : {"", ".1", kPendingRestoreSuffix}) {
      std::filesystem::remove(configPath + suffix);
    }
    state.savedConfiguration.BeginUnit();
    sim::SimOptions options = WholeUnitOptions();
    options.program.flash.failLine = "ERROR flash";
    Prepare(3000, true, options);
    host.ClearShownBoxes();
    host.AnswerNextBox(BoxAnswer::kYes);
    host.AnswerNextBox(BoxAnswer::kOk);
    ASSERT_EQ(UploadAgain(), kPageTryAgain);
    const std::string firstList = ReadFile(configPath);
    ASSERT_TRUE(std::filesystem::exists(configPath + kPendingRestoreSuffix));

    sim::SimOptions second = WholeUnitOptions();
    second.configuration.serialNumber = c.serial;
    second.configuration.paramsIn.clear();
    Prepare(3000, true, second);
    exchange->Store().Set("HDG", 0x5B);
    const std::vector<std::string> secondList = UnitParameters();
    host.ClearShownBoxes();
    host.AnswerNextBox(c.question ? *c.question : BoxAnswer::kOk);
    EXPECT_EQ(UploadAgain(), kPageLeave);
    ASSERT_FALSE(BoxTexts().empty());
    if (!c.question) {
      EXPECT_EQ(BoxTexts()[0], FormatText(kNotThatUnitFormat, configPath.c_str(), 441023u, 777u));
    } else {
      EXPECT_EQ(BoxTexts()[0].rfind(kRestoreChoiceLead, 0), 0u);
      EXPECT_EQ(host.ShownBoxes()[0].buttons, BoxButtons::kYesNoCancel);
    }
    // The second unit holds its own list in every case.
    EXPECT_EQ(UnitParameters(), secondList);
    if (c.question == BoxAnswer::kNo) {
      EXPECT_EQ(program->Flashed(), image);
      EXPECT_EQ(ReadFile(configPath + ".1"), firstList);
      EXPECT_FALSE(std::filesystem::exists(configPath + kPendingRestoreSuffix));
    } else {
      EXPECT_EQ(program->FlashCommits(), 0);
      EXPECT_EQ(Sent("P"), 0);
      EXPECT_EQ(ReadFile(configPath), firstList);
      EXPECT_TRUE(std::filesystem::exists(configPath + kPendingRestoreSuffix));
    }
  }
}

TEST_F(ProgramUploadTest, AnotherUnitNeverGetsTheFirstUnitsConfiguration) {
  Prepare(600, false);
  host.AnswerNextBox(BoxAnswer::kYes);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(Upload(), kPageTryAgain);
  EXPECT_FALSE(state.savedConfiguration.HasSaved());
}

// The zero padding of a file that ends before its header's length is made
// as it is read, never stored. Images of both layouts, cut at points around
// the header, the control block and the data blocks, read from such files,
// pass or fail their checks as the whole image does and put the same bytes on
// the wire in both variants as the whole image held in memory.
TEST_F(ProgramUploadTest, APaddedImageGoesOutAsTheWholeImageWould) {
  host.SetBoxHandler([](const MessageBoxRequest& box) { return SafestAnswer(box.buttons); });
  std::string file = dir.File("short.hex");
  // What the unit hears from one upload of the image now loaded.
  auto wire = [this](bool identified) {
    StartWholeUnit();
    WireTap tap(*line);
    host.Device().AttachPeer(&tap);
    state.savedConfiguration.BeginUnit();
    run.UnitInfoValid = identified;
    VirtualTransferPage once(host, state);
    std::int64_t exitAt = host.TickCount() + kLongAfterMs;
    once.CommandAt(exitAt, TransferCommand::kExit);
    run.settings.function = kWriteProgram;
    DoTransfer(state, once);
    // Past the Exit, which the raw variant does not need (it ends its page
    // itself): no event of this page may fire in the next upload.
    host.RunFor(exitAt + 1 - host.TickCount());
    host.Device().AttachPeer(line.get());
    return tap.bytes;
  };
  for (ChecksumLayout layout : {ChecksumLayout::kNewer, ChecksumLayout::kOlder}) {
    const std::size_t length = 3 * 1024 + 300;
    for (std::size_t cut :
         {std::size_t{17}, std::size_t{200}, std::size_t{256}, std::size_t{257}, std::size_t{1280},
          std::size_t{2304}, std::size_t{3000}, length - 1, length}) {
      SCOPED_TRACE(testing::Message() << "layout " << static_cast<int>(layout) << " cut " << cut);
      Bytes whole = BuildProgramImage({.layout = layout, .length = length, .olderEnd = 3000});
      std::fill(whole.begin() + static_cast<std::ptrdiff_t>(cut), whole.end(), 0);
      if (cut >= 256) {
        // Sealed again: the file is then a valid image whose end is padding.
        std::size_t end = layout == ChecksumLayout::kNewer ? length : 3000;
        PutBig32(whole, layout == ChecksumLayout::kNewer ? 244 : 212,
                 ReferenceCrc(whole.data() + 256, end - 256));
        SealControlBlock(whole);
      }
      WriteFile(file,
                HexText(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut))));

      ASSERT_EQ(ReadProgramFile(host, state.files.loadedImage, file.c_str()).length,
                static_cast<int>(length));
      state.files.loadedImage.length = static_cast<std::int64_t>(length);
      EXPECT_EQ(state.files.loadedImage.Held(), cut);
      EXPECT_EQ(ImageBytes(state.files.loadedImage), whole);
      std::optional<FileRefusal> paddedRefusal =
          CheckProgramImage(state.files.loadedImage, file.c_str());
      EXPECT_EQ(!paddedRefusal, cut >= 256);
      std::vector<std::uint8_t> paddedBlocks = wire(true);
      std::vector<std::uint8_t> paddedRaw = wire(false);

      LoadImage(whole);
      std::optional<FileRefusal> wholeRefusal =
          CheckProgramImage(state.files.loadedImage, file.c_str());
      EXPECT_EQ(!wholeRefusal, !paddedRefusal);
      if (wholeRefusal && paddedRefusal) {
        EXPECT_EQ(wholeRefusal->text, paddedRefusal->text);
      }
      EXPECT_EQ(wire(true), paddedBlocks);
      EXPECT_EQ(program->Flashed(), whole);
      EXPECT_EQ(wire(false), paddedRaw);
      EXPECT_EQ(program->Flashed(), whole);
    }
  }
}

}  // namespace
}  // namespace rv4410::test
