// Unit detection: the identification query, the unit check for the selected
// function, and the waiting page around them, against the simulated unit in
// virtual time.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "protocol/command_lines.h"
#include "protocol/page_results.h"
#include "protocol/unit_detection.h"
#include "protocol/waiting_page.h"
#include "sim/identification.h"
#include "support/virtual_unit_fixture.h"
#include "unit/protocol/virtual_waiting_page.h"

namespace rv4410::test {
namespace {

// Answers "QP" with a fixed text, for replies the simulated unit would not make.
class ScriptedIdentification : public sim::UnitFeature {
 public:
  explicit ScriptedIdentification(std::string reply) : reply_(std::move(reply)) {}
  bool OnCommand(sim::UnitModel& unit, std::string_view line) override {
    if (line != "QP") return false;
    unit.Send(reply_);
    return true;
  }

 private:
  std::string reply_;
};

std::string HexOf(const std::uint8_t* bytes, std::size_t count) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0xF]);
  }
  return text;
}

int CountOf(const std::vector<std::string>& commands, const std::string& command) {
  return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

class UnitDetectionTest : public VirtualUnitTest {
 protected:
  sim::IdentificationFeature& StartIdentifyingUnit(sim::IdentificationKnobs knobs = {},
                                                   sim::LineKnobs line = {}) {
    StartUnit(line);
    identification = &unit->Make<sim::IdentificationFeature>(std::move(knobs));
    return *identification;
  }

  // The unit's attention, as the waiting page has it before it queries.
  void Attend() {
    OpenPort();
    ASSERT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
  }

  // Runs the waiting page for `function` with `map` and returns its result.
  int RunWaitingPage(LoaderFunction function, MapRequirement map = {}) {
    run.settings.function = function;
    waitingPage = std::make_unique<VirtualWaitingPage>(host, run, map);
    return DoWaiting(run, *waitingPage);
  }

  bool RecordMatches(const sim::IdentificationKnobs& knobs) const {
    auto record = sim::IdentificationRecord(knobs);
    return std::equal(record.begin(), record.end(), run.unitInfo.bytes.begin());
  }

  sim::IdentificationFeature* identification = nullptr;
  std::unique_ptr<VirtualWaitingPage> waitingPage;
};

TEST_F(UnitDetectionTest, CorrectReplyIsValidOnTheFirstQueryAndFillsTheFields) {
  sim::IdentificationKnobs knobs;
  knobs.mapAreaStart = 0x00123456;
  knobs.mapAreaEnd = 0x00ABCDEF;
  knobs.mapBase = 0x80000010;
  knobs.featureFlags = 0xF0000001;
  StartIdentifyingUnit(knobs);

  EXPECT_EQ(RunWaitingPage(kWriteProgram), kPageNext);

  EXPECT_TRUE(run.UnitInfoValid);
  EXPECT_EQ(identification->Queries(), 1);
  EXPECT_TRUE(RecordMatches(knobs));
  EXPECT_EQ(run.unitInfo.MapAreaStart(), 0x00123456u);
  EXPECT_EQ(run.unitInfo.MapAreaEnd(), 0x00ABCDEFu);
  EXPECT_EQ(run.unitInfo.MapBase(), 0x80000010u);
  EXPECT_EQ(run.unitInfo.FeatureFlags(), 0xF0000001u);
  EXPECT_FALSE(run.link.open);
  EXPECT_TRUE(run.CancelRequested);
  EXPECT_TRUE(waitingPage->iconSet);
  EXPECT_FALSE(waitingPage->nextDisabled);
  EXPECT_NE(LogText().find("... DoWaiting()\n"), std::string::npos);
  // The handshake waits for the page's start timer.
  EXPECT_GE(waitingPage->endedAtMs, kWaitingStartMs);
}

struct Layout {
  const char* name;
  bool lowerCase;
  int digitsPerLine;
  const char* lineEnd;
  bool spaces;
};

class ReplyLayoutTest : public UnitDetectionTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(ReplyLayoutTest, AnyArrangementOfLinesAndSpacesDecodesTheSame) {
  const Layout& layout = GetParam();
  sim::IdentificationKnobs knobs;
  knobs.lowerCase = layout.lowerCase;
  knobs.digitsPerLine = layout.digitsPerLine;
  knobs.lineEnd = layout.lineEnd;
  knobs.spaceBetweenBytes = layout.spaces;
  StartIdentifyingUnit(knobs);
  Attend();

  EXPECT_EQ(QueryUnit(run).ending, Ending::kDone);
  EXPECT_TRUE(run.UnitInfoValid);
  EXPECT_TRUE(RecordMatches(knobs));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ReplyLayoutTest,
    ::testing::Values(Layout{"UpperOneLine", false, 0, "", false},
                      Layout{"LowerLinesOf37WithSpaces", true, 37, "\n", true},
                      Layout{"UpperLinesOf64CrLf", false, 64, "\r\n", false},
                      Layout{"LowerOneDigitPerLine", true, 1, "\n", false},
                      Layout{"LowerTabsAndFormFeeds", true, 8, "\t\f\v", true}),
    [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

TEST_F(UnitDetectionTest, DamagedOddOrShortRepliesAreNeverValid) {
  struct Fault {
    const char* name;
    void (*apply)(sim::IdentificationKnobs&);
  };
  const Fault faults[] = {
      {"wrong check digit", [](sim::IdentificationKnobs& k) { k.damagedCheck = true; }},
      {"odd number of digits", [](sim::IdentificationKnobs& k) { k.oddDigits = true; }},
      {"stops half-way", [](sim::IdentificationKnobs& k) { k.stopsHalfway = true; }},
      {"no reply", [](sim::IdentificationKnobs& k) { k.absent = true; }},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.name);
    sim::IdentificationKnobs knobs;
    fault.apply(knobs);
    StartIdentifyingUnit(knobs);
    Attend();
    EXPECT_FALSE(QueryUnit(run).Done());
    EXPECT_FALSE(run.UnitInfoValid);
    SerialClose(run.link);
  }
}

TEST_F(UnitDetectionTest, AReplyThatStopsHalfwayEndsAfterAPauseNotAtItsTerminators) {
  sim::IdentificationKnobs knobs;
  knobs.stopsHalfway = true;
  StartIdentifyingUnit(knobs);
  Attend();
  std::int64_t start = host.TickCount();
  EXPECT_FALSE(QueryUnit(run).Done());
  // Half the reply takes about 270 ms at 9600 baud; then the pause rule ends it.
  std::int64_t took = host.TickCount() - start;
  EXPECT_GE(took, kQueryPauseMs);
  EXPECT_LT(took, kQueryPauseMs + 400);
}

TEST_F(UnitDetectionTest, AnEndlessReplyIsCutAtTheQueryLimit) {
  // Letters that are not digits keep coming and never end the reply.
  std::string endless = HexOf(sim::IdentificationRecord({}).data(), 4) + std::string(20000, 'x');
  StartUnit();
  unit->Make<ScriptedIdentification>(endless);
  Attend();
  std::int64_t start = host.TickCount();
  EXPECT_FALSE(QueryUnit(run).Done());
  std::int64_t took = host.TickCount() - start;
  EXPECT_GE(took, kQueryLimitMs);
  EXPECT_LT(took, kQueryLimitMs + 100);
}

TEST_F(UnitDetectionTest, ARecordAtTwelveHundredBaudFitsTheQueryLimit) {
  sim::LineKnobs slow;
  slow.speed = 1200;
  sim::IdentificationKnobs knobs;
  knobs.digitsPerLine = 64;
  knobs.spaceBetweenBytes = true;
  StartIdentifyingUnit(knobs, slow);
  run.settings.baudRate = 1200;
  Attend();
  EXPECT_EQ(QueryUnit(run).ending, Ending::kDone);
  EXPECT_TRUE(RecordMatches(knobs));
}

TEST_F(UnitDetectionTest, ReplyCutOffByAVanishingPortEndsAtOnce) {
  sim::LineKnobs slow;
  slow.speed = 1200;
  StartIdentifyingUnit({}, slow);
  run.settings.baudRate = 1200;
  Attend();
  // An adapter pulled out half a second into the 4.4 s reply.
  std::int64_t start = host.TickCount();
  host.At(start + 500, [this] { host.Device().Close(); });
  EXPECT_FALSE(QueryUnit(run).Done());
  EXPECT_LE(host.TickCount() - start, 500 + kByteTimeoutMs);
}

TEST_F(UnitDetectionTest, DigitsBeyondTheRecordAreCheckedButNeverStored) {
  auto record = sim::IdentificationRecord({});
  std::uint8_t extra[40];
  for (int i = 0; i < 36; ++i) extra[i] = static_cast<std::uint8_t>(0xA0 + i);
  // The check of the first 256 bytes as the last four of 300.
  std::copy(record.begin() + 256, record.end(), extra + 36);
  std::string longReply = HexOf(record.data(), 256) + HexOf(extra, 40) + "\r\r";
  StartUnit();
  unit->Make<ScriptedIdentification>(longReply);
  Attend();

  EXPECT_EQ(QueryUnit(run).ending, Ending::kDone);
  EXPECT_TRUE(run.UnitInfoValid);
  EXPECT_TRUE(std::equal(record.begin(), record.begin() + 256, run.unitInfo.bytes.begin()));
  // Bytes 256..259 hold what arrived there; nothing beyond is written.
  EXPECT_EQ(run.unitInfo.bytes[256], 0xA0);
  EXPECT_EQ(run.unitInfo.bytes[259], 0xA3);

  // The whole record with its check, then more: the last four are not the check.
  std::string trailing = HexOf(record.data(), record.size()) + "0102\r\r";
  StartUnit();
  unit->Make<ScriptedIdentification>(trailing);
  SerialClose(run.link);
  Attend();
  EXPECT_FALSE(QueryUnit(run).Done());
  EXPECT_FALSE(run.UnitInfoValid);
}

TEST_F(UnitDetectionTest, QueryWithoutAPortWaitsOutItsStartLimit) {
  StartIdentifyingUnit();
  std::int64_t start = host.TickCount();
  EXPECT_FALSE(QueryUnit(run).Done());
  EXPECT_EQ(host.TickCount() - start, kQueryStartMs);
  EXPECT_EQ(identification->Queries(), 0);
}

TEST_F(UnitDetectionTest, PunctuationInTheReplyEndsIt) {
  auto record = sim::IdentificationRecord({});
  std::string hex = HexOf(record.data(), record.size());
  StartUnit();
  unit->Make<ScriptedIdentification>(hex.substr(0, 100) + ":" + hex.substr(100) + "\r\r");
  Attend();
  EXPECT_FALSE(QueryUnit(run).Done());
}

TEST_F(UnitDetectionTest, WrongCheckFailsAllThreeQueriesAndOnlyWriteMapRefuses) {
  sim::IdentificationKnobs knobs;
  knobs.damagedCheck = true;
  StartIdentifyingUnit(knobs);
  EXPECT_EQ(RunWaitingPage(kWriteProgram), kPageNext);
  EXPECT_EQ(identification->Queries(), 3);
  EXPECT_FALSE(run.UnitInfoValid);

  StartIdentifyingUnit(knobs);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(RunWaitingPage(kWriteMap, {0xFFFFFFFF, 1}), kPageUnsuitable);
  EXPECT_EQ(identification->Queries(), 3);
  EXPECT_TRUE(waitingPage->nextDisabled);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  const MessageBoxRequest& box = host.ShownBoxes()[0];
  EXPECT_EQ(box.text, "New Program Must be Loaded First!");
  EXPECT_EQ(box.caption, "Error");
  EXPECT_EQ(box.icon, BoxIcon::kError);
  EXPECT_EQ(box.owner, waitingPage->Window());
  EXPECT_NE(LogText().find("New Program Must be Loaded First!\n"), std::string::npos);
  EXPECT_TRUE(run.CancelRequested);
  EXPECT_FALSE(run.link.open);
}

TEST_F(UnitDetectionTest, MapWithoutASharedFeatureBitIsRefusedThoughItFits) {
  sim::IdentificationKnobs knobs;
  knobs.featureFlags = 0x0000000C;
  StartIdentifyingUnit(knobs);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(RunWaitingPage(kWriteMap, {0x00000003, 16}), kPageUnsuitable);
  EXPECT_TRUE(run.UnitInfoValid);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text, kNewProgramFirst);
}

TEST_F(UnitDetectionTest, MapOfExactlyTheFreeMemoryPassesAndOneByteMoreIsRefused) {
  sim::IdentificationKnobs knobs;
  knobs.mapAreaStart = 0x00200000;
  knobs.mapAreaEnd = 0x00600000;  // 4194304 bytes
  knobs.featureFlags = 0x00000002;
  StartIdentifyingUnit(knobs);
  EXPECT_EQ(RunWaitingPage(kWriteMap, {0x00000006, 4194304}), kPageNext);
  EXPECT_TRUE(host.ShownBoxes().empty());

  StartIdentifyingUnit(knobs);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(RunWaitingPage(kWriteMap, {0x00000006, 4194305}), kPageUnsuitable);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text,
            "Map size [ 4194305 ] exceeds available memory [ 4194304 ] !");
  EXPECT_EQ(host.ShownBoxes()[0].owner, waitingPage->Window());
  EXPECT_NE(LogText().find("Map size [ 4194305 ] exceeds available memory [ 4194304 ] !\n"),
            std::string::npos);
}

TEST_F(UnitDetectionTest, OtherFunctionsGoOnWithoutLookingAtTheUnit) {
  for (LoaderFunction function : {kWriteProgram, kReadConfiguration, kWriteConfiguration}) {
    run.settings.function = function;
    run.UnitInfoValid = false;
    EXPECT_TRUE(CheckUnitForFunction(run, {0, 0xFFFFFFFF}).Done());
  }
}

TEST_F(UnitDetectionTest, DefaultCommandDuringTheHandshakeEndsThePageAtOnce) {
  sim::LineKnobs silent;
  silent.silent = true;
  StartIdentifyingUnit({}, silent);
  run.settings.function = kWriteProgram;
  VirtualWaitingPage page(host, run);
  page.CommandAt(2500, WaitingCommand::kNext);
  EXPECT_EQ(DoWaiting(run, page), kPageNext);
  EXPECT_EQ(page.endedAtMs, 2500);
  // The handshake notices at its next attempt.
  EXPECT_LT(page.returnedAtMs, 2500 + 250);
  EXPECT_FALSE(run.UnitInfoValid);
  EXPECT_FALSE(run.link.open);
  EXPECT_EQ(identification->Queries(), 0);
}

TEST_F(UnitDetectionTest, DefaultCommandDuringTheHandshakeRefusesAMap) {
  sim::LineKnobs silent;
  silent.silent = true;
  StartIdentifyingUnit({}, silent);
  run.settings.function = kWriteMap;
  VirtualWaitingPage page(host, run, {1, 1});
  page.CommandAt(2500, WaitingCommand::kNext);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(DoWaiting(run, page), kPageUnsuitable);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text, kNewProgramFirst);
}

TEST_F(UnitDetectionTest, MapRefusedBeforeTheStartTimerStaysRefusedWhileItsBoxIsOpen) {
  // A unit that would answer at once: if the start timer still fired under
  // the refusal box, the handshake would reopen the port and go on.
  StartIdentifyingUnit();
  run.settings.function = kWriteMap;
  VirtualWaitingPage page(host, run, {1, 1});
  page.CommandAt(500, WaitingCommand::kNext);
  // The user reads the box for three seconds; the box's own loop runs events.
  host.SetBoxHandler([this](const MessageBoxRequest&) {
    host.RunFor(3000);
    return BoxAnswer::kOk;
  });
  EXPECT_EQ(DoWaiting(run, page), kPageUnsuitable);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text, kNewProgramFirst);
  EXPECT_FALSE(run.link.open);
  EXPECT_FALSE(host.Device().IsOpen());
  EXPECT_EQ(host.Device().OpenedBauds(), std::vector<int>{9600});
  EXPECT_EQ(unit->Attentions(), 0);
}

TEST_F(UnitDetectionTest, CancelBackAndCloseDuringTheHandshakeEndThePageWithThePortClosed) {
  struct Case {
    WaitingCommand command;
    int result;
  };
  for (Case c : {Case{WaitingCommand::kCancel, kPageLeave}, Case{WaitingCommand::kBack, kPageBack},
                 Case{WaitingCommand::kClose, kPageLeave}}) {
    sim::LineKnobs silent;
    silent.silent = true;
    StartIdentifyingUnit({}, silent);
    VirtualWaitingPage page(host, run);
    page.CommandAt(host.TickCount() + 3000, c.command);
    EXPECT_EQ(DoWaiting(run, page), c.result);
    EXPECT_FALSE(run.link.open);
    EXPECT_FALSE(host.Device().IsOpen());
    EXPECT_TRUE(run.CancelRequested);
    EXPECT_LT(page.returnedAtMs - page.endedAtMs, 250);
  }
}

TEST_F(UnitDetectionTest, CancelDuringASlowReplyEndsThePagePromptly) {
  sim::LineKnobs slow;
  slow.speed = 1200;
  StartIdentifyingUnit({}, slow);
  run.settings.baudRate = 1200;
  VirtualWaitingPage page(host, run);
  // The handshake answers at about 1.1 s; the reply takes 4.4 s from there.
  page.CommandAt(3000, WaitingCommand::kCancel);
  EXPECT_EQ(DoWaiting(run, page), kPageLeave);
  EXPECT_EQ(identification->Queries(), 1);
  EXPECT_LT(page.returnedAtMs - 3000, 100);
  EXPECT_FALSE(run.UnitInfoValid);
}

TEST_F(UnitDetectionTest, UnitSpeakingOnlyAt1200BaudIsFoundAndTheRunGoesOnAt1200) {
  sim::LineKnobs slow;
  slow.speed = 1200;
  StartIdentifyingUnit({}, slow);
  EXPECT_EQ(RunWaitingPage(kWriteProgram), kPageNext);
  EXPECT_TRUE(run.UnitInfoValid);
  EXPECT_EQ(run.settings.baudRate, 1200);
  EXPECT_EQ(host.Device().OpenedBauds().back(), 1200);
}

TEST_F(UnitDetectionTest, PortThatCannotBeOpenedEndsThePageWithZero) {
  StartIdentifyingUnit();
  host.Device().SetPortPresent("COM1", false);
  host.AnswerNextBox(BoxAnswer::kOk);
  EXPECT_EQ(RunWaitingPage(kWriteProgram), kPageLeave);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  EXPECT_EQ(host.ShownBoxes()[0].text, "Could not open COM1.");
  EXPECT_EQ(host.ShownBoxes()[0].caption, "Error");
  EXPECT_EQ(host.ShownBoxes()[0].owner, waitingPage->Window());
  EXPECT_NE(LogText().find("Could not open COM1.\n"), std::string::npos);
  EXPECT_TRUE(UnitCommands().empty());
}

TEST_F(UnitDetectionTest, EveryVisitClearsTheFlagAndDetectsAgain) {
  StartIdentifyingUnit();
  EXPECT_EQ(RunWaitingPage(kWriteProgram), kPageNext);
  EXPECT_TRUE(run.UnitInfoValid);
  identification->Knobs().absent = true;
  EXPECT_EQ(RunWaitingPage(kWriteProgram), kPageNext);
  EXPECT_FALSE(run.UnitInfoValid);
  EXPECT_EQ(CountOf(UnitCommands(), "QP"), 4);
}

TEST(ReadBigEndian32Test, FirstByteIsTheMostSignificant) {
  const std::uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0xFF};
  EXPECT_EQ(ReadBigEndian32(bytes), 0x12345678u);
  EXPECT_EQ(ReadBigEndian32(bytes + 1), 0x345678FFu);
}

}  // namespace
}  // namespace rv4410::test
