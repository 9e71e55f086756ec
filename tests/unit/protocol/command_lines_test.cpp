#include "protocol/command_lines.h"

#include <gtest/gtest.h>

#include "protocol/page_results.h"
#include "support/virtual_unit_fixture.h"

namespace rv4410 {
namespace {

using test::VirtualUnitTest;

class ReceiveLineTest : public VirtualUnitTest {
 protected:
  ReceiveLineTest() {
    StartUnit();
    OpenPort();
  }
  // The unit sends `bytes` starting at `ms` on the virtual clock.
  void UnitSendsAt(std::int64_t ms, std::string bytes) { unit->SendAt(ms * 1000, bytes); }
  std::string Receive(std::int64_t timeoutMs, int* result) {
    ReplyBuffer reply{};
    *result = ReceiveLine(run, reply.data(), timeoutMs);
    return reply.data();
  }
};

TEST_F(ReceiveLineTest, OkWithCrLfGivesOkAndItsLineFeedIsSkippedNext) {
  UnitSendsAt(0, "OK\r\nBegin\r\n");
  int result = 0;
  EXPECT_EQ(Receive(500, &result), "OK");
  EXPECT_EQ(result, 2);
  EXPECT_EQ(Receive(500, &result), "Begin");
  EXPECT_EQ(result, 5);
}

TEST_F(ReceiveLineTest, CarriageReturnFirstIsAnEmptyLineNotATimeout) {
  UnitSendsAt(0, "\r\n");
  int result = 0;
  EXPECT_EQ(Receive(500, &result), "");
  EXPECT_EQ(result, 0);
}

TEST_F(ReceiveLineTest, LeadingLineFeedsSpacesAndNulBytesAreSkipped) {
  UnitSendsAt(0, std::string("\n \0\t\x01  OK go\r", 12));
  int result = 0;
  EXPECT_EQ(Receive(500, &result), "OK go");
  EXPECT_EQ(result, 5);
}

TEST_F(ReceiveLineTest, HighBytesStartAndJoinALine) {
  UnitSendsAt(0,
              "\xFF\x80"
              "A\r");
  int result = 0;
  EXPECT_EQ(Receive(500, &result),
            "\xFF\x80"
            "A");
  EXPECT_EQ(result, 3);
}

TEST_F(ReceiveLineTest, SilenceIsATimeoutAtTheDeadline) {
  int result = 0;
  std::int64_t before = host.TickCount();
  Receive(500, &result);
  EXPECT_EQ(result, -1);
  EXPECT_GE(host.TickCount() - before, 500);
  EXPECT_LE(host.TickCount() - before, 540);
}

TEST_F(ReceiveLineTest, LineStartingAfterTheDeadlineIsATimeout) {
  UnitSendsAt(520, "OK\r\n");
  int result = 0;
  Receive(500, &result);
  EXPECT_EQ(result, -1);
}

TEST_F(ReceiveLineTest, PauseOfMoreThanFortyMillisecondsCutsTheLine) {
  UnitSendsAt(0, "Beg");
  UnitSendsAt(100, "in\r\n");
  int result = 0;
  EXPECT_EQ(Receive(500, &result), "Beg");
  EXPECT_EQ(Receive(500, &result), "in");
}

TEST_F(ReceiveLineTest, ALineGatheredAtLowSpeedStillEndsOnlyAtAFortyMillisecondPause) {
  // At 9600 baud the characters of a line gather a few at a time; a pause of
  // 25 ms inside a line joins it, as before, and user events still run at once.
  UnitSendsAt(0, "Para");
  UnitSendsAt(30, "meter\r\n");
  std::int64_t ranAt = -1;
  host.At(7, [&] { ranAt = host.TickCount(); });
  int result = 0;
  EXPECT_EQ(Receive(500, &result), "Parameter");
  EXPECT_EQ(ranAt, 7);
}

TEST_F(ReceiveLineTest, LongLineIsCutAt254WithTheRestQueued) {
  std::string line(300, 'x');
  for (std::size_t i = 0; i < line.size(); ++i) line[i] = static_cast<char>('a' + i % 26);
  UnitSendsAt(0, line + "\r\n");
  int result = 0;
  EXPECT_EQ(Receive(2000, &result), line.substr(0, 254));
  EXPECT_EQ(result, 254);
  EXPECT_EQ(Receive(2000, &result), line.substr(254));
  EXPECT_EQ(result, 46);
}

TEST_F(ReceiveLineTest, CancelWhileWaitingEndsAtTheNextPollEvenWhileSpacesArrive) {
  // Spaces keep coming every 5 ms; the user cancels at 300 ms.
  for (int ms = 0; ms < 2000; ms += 5) UnitSendsAt(ms, " ");
  host.At(300, [this] { run.CancelRequested = true; });
  int result = 0;
  Receive(5000, &result);
  EXPECT_EQ(result, -1);
  EXPECT_LE(host.TickCount(), 300 + 40);
}

TEST_F(ReceiveLineTest, CancelDoesNotCutALineAlreadyBeingCollected) {
  UnitSendsAt(0, "OK");
  UnitSendsAt(20, " more\r\n");
  host.At(5, [this] { run.CancelRequested = true; });
  int result = 0;
  EXPECT_EQ(Receive(500, &result), "OK more");
}

TEST_F(ReceiveLineTest, WithoutAPortTheReceiveSleepsToItsDeadline) {
  SerialClose(run.link);
  int result = 0;
  Receive(300, &result);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(host.TickCount(), 300);
}

TEST_F(ReceiveLineTest, SendLineSendsTheFormattedTextAsItIs) {
  EXPECT_EQ(SendLine(run, "BR %d\r", 115200), 1);
  EXPECT_EQ(SendLine(run, "BC %X\r\n", 0x1F00u), 1);
  host.RunFor(50);
  ASSERT_EQ(UnitCommands().size(), 2u);
  EXPECT_EQ(UnitCommands()[0], "BR 115200");
  EXPECT_EQ(UnitCommands()[1], "BC 1F00");
}

// The reply waits after a send: the unit cannot answer a line it has not yet
// heard, so a wait counts from when the last byte has left the PC.
class ReplyAfterSendTest : public VirtualUnitTest {
 protected:
  // A unit at 1200 baud; the tests at 9600 start their own.
  ReplyAfterSendTest() { StartUnit({.speed = 1200}); }
  // Lines the unit drops as too long, then the attention it answers with "OK":
  // `lines` times 1000 characters and five more on the line.
  std::size_t SendLongListThenAttention(int lines) {
    std::string line(998, 'x');
    for (int i = 0; i < lines; ++i) SendLine(run, "%s\r\n", line.c_str());
    SendLine(run, "%s", "\x18\x18\x18\x18\x18");
    return static_cast<std::size_t>(lines) * 1000 + 5;
  }
  // The tick at which `bytes` handed over at `fromTick` have left at `baud`.
  static std::int64_t LeftAt(std::int64_t fromTick, std::size_t bytes, int baud) {
    return fromTick + (static_cast<std::int64_t>(bytes) * CharacterTimeUs(baud) + 999) / 1000;
  }
  // A timeout is seen at the first byte poll (40 ms) past its deadline.
  void ExpectTimedOutAt(std::int64_t deadline) {
    EXPECT_GE(host.TickCount(), deadline);
    EXPECT_LE(host.TickCount(), deadline + kByteTimeoutMs);
  }
  ReplyBuffer reply{};
};

TEST_F(ReplyAfterSendTest, LongSendAt1200BaudStillGetsTheAnswerWithinAShortTimeout) {
  run.settings.baudRate = 1200;
  OpenPort();
  std::int64_t start = host.TickCount();
  std::size_t sent = SendLongListThenAttention(4);
  // 4005 bytes take 33 s on the line; the write returned at once.
  EXPECT_EQ(host.TickCount(), start);
  std::int64_t eventAt = -1;
  host.At(10'000, [&] { eventAt = host.TickCount(); });

  EXPECT_EQ(ReceiveLine(run, reply.data(), 100), 2);
  EXPECT_STREQ(reply.data(), "OK");
  EXPECT_GE(host.TickCount(), LeftAt(start, sent, 1200));
  // The window stayed alive meanwhile.
  EXPECT_EQ(eventAt, 10'000);
}

TEST_F(ReplyAfterSendTest, SilenceAfterASendTimesOutTheTimeoutAfterTheLastByteLeft) {
  run.settings.baudRate = 1200;
  OpenPort();
  std::int64_t start = host.TickCount();
  SendLine(run, "%s\r\n", std::string(998, 'x').c_str());
  EXPECT_EQ(ReceiveLine(run, reply.data(), 100), -1);
  ExpectTimedOutAt(LeftAt(start, 1000, 1200) + 100);
  // Nothing on its way any more: the next wait counts from now.
  std::int64_t before = host.TickCount();
  EXPECT_EQ(ReceiveLine(run, reply.data(), 100), -1);
  ExpectTimedOutAt(before + 100);
}

TEST_F(ReplyAfterSendTest, SpeedOfTheOpenPortPacesTheWaitNotALaterSetting) {
  run.settings.baudRate = 1200;
  OpenPort();
  std::int64_t start = host.TickCount();
  std::size_t sent = SendLongListThenAttention(1);
  // A speed stored for the next open does not change this line's rate.
  run.settings.baudRate = 115200;
  EXPECT_EQ(ReceiveLine(run, reply.data(), 50), 2);
  EXPECT_GE(host.TickCount(), LeftAt(start, sent, 1200));
}

TEST_F(ReplyAfterSendTest, OutputHeldBackByTheLineStillCountsFromWhenItLeaves) {
  StartUnit();
  OpenPort();
  // The line holds the first 300 ms back, then passes the list at 9600 baud.
  host.Device().HoldOutput(true);
  host.At(300, [this] { host.Device().HoldOutput(false); });
  std::size_t sent = SendLongListThenAttention(1);
  EXPECT_EQ(ReceiveLine(run, reply.data(), 50), 2);
  EXPECT_STREQ(reply.data(), "OK");
  EXPECT_GE(host.TickCount(), LeftAt(300, sent, 9600));
}

TEST_F(ReplyAfterSendTest, OutputThatNeverLeavesStillEndsInATimeout) {
  StartUnit();
  OpenPort();
  host.Device().HoldOutput(true);
  std::int64_t start = host.TickCount();
  std::size_t sent = SendLongListThenAttention(1);
  EXPECT_EQ(ReceiveLine(run, reply.data(), 50), -1);
  ExpectTimedOutAt(LeftAt(start, sent, 9600) + 50);
}

TEST_F(ReplyAfterSendTest, ReopenDiscardsWhatWasOnItsWay) {
  run.settings.baudRate = 1200;
  OpenPort();
  SendLine(run, "%s\r\n", std::string(998, 'x').c_str());
  ASSERT_EQ(ReopenSerialAt(run, 9600), 1);
  std::int64_t before = host.TickCount();
  EXPECT_EQ(ReceiveLine(run, reply.data(), 100), -1);
  ExpectTimedOutAt(before + 100);
}

class WaitForOkTest : public VirtualUnitTest {};

TEST_F(WaitForOkTest, UnitAtTheCurrentSpeedAnswersTheFirstAttemptWithoutBreak) {
  StartUnit();
  OpenPort();
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
  EXPECT_EQ(unit->Attentions(), 1);
  EXPECT_EQ(unit->Breaks(), 0);
  EXPECT_EQ(host.Device().BreakCount(), 0);
}

TEST_F(WaitForOkTest, WithBreakTheFirstAttemptStartsWithABreak) {
  StartUnit();
  OpenPort();
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kWithBreak).ending, Ending::kDone);
  EXPECT_EQ(unit->Breaks(), 1);
  EXPECT_EQ(unit->Attentions(), 1);
}

TEST_F(WaitForOkTest, UnitOnlyAt1200IsFoundOnTheSixthOrSeventhAttempt) {
  StartUnit({.speed = 1200});
  OpenPort();
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
  // Five cancel characters per attempt; attempts at 9600 reach the unit garbled.
  std::size_t attempts =
      (unit->GarbledBytes() + 5 * static_cast<std::size_t>(unit->Attentions())) / 5;
  EXPECT_GE(attempts, 6u);
  EXPECT_LE(attempts, 7u);
  EXPECT_EQ(run.settings.baudRate, 1200);
  EXPECT_TRUE(run.link.open);
  EXPECT_EQ(host.Device().Baud(), 1200);
}

TEST_F(WaitForOkTest, SilentUnitKeepsTryingUntilCancelled) {
  StartUnit({.silent = true});
  OpenPort();
  host.At(5000, [this] {
    run.CancelRequested = true;
    SerialClose(run.link);
  });
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kCancelled);
  EXPECT_GE(host.TickCount(), 5000);
  EXPECT_LE(host.TickCount(), 5000 + 150);
  // The speed search came by 1200 and 9600 more than once in five seconds.
  int reopensAt1200 = 0;
  for (int baud : host.Device().OpenedBauds()) reopensAt1200 += baud == 1200 ? 1 : 0;
  EXPECT_GE(reopensAt1200, 3);
}

TEST_F(WaitForOkTest, FailedReopenLeavesNoPortAndTheAttemptsGoOnWithoutSpinning) {
  StartUnit({.silent = true});
  OpenPort();
  host.Device().SetBaudRejected(1200, true);
  host.Device().SetBaudRejected(9600, true);
  host.At(3000, [this] { run.CancelRequested = true; });
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kCancelled);
  EXPECT_FALSE(run.link.open);
  EXPECT_GE(host.TickCount(), 3000);
}

TEST_F(WaitForOkTest, ADeviceThatWentAwayIsNotReplacedByTheNextAtItsPath) {
  // The unit's line hangs up (another device appears at the name a moment
  // later), or the name comes to reach another device while the port is open.
  for (bool hangsUp : {true, false}) {
    SCOPED_TRACE(hangsUp ? "hung up" : "replaced");
    StartUnit({.silent = true});
    run.settings.baudRate = 9600;
    OpenPort();
    host.ClearShownBoxes();
    std::int64_t start = host.TickCount();
    VirtualSerialDevice& device = host.Device();
    host.At(start + 200, [&device, hangsUp] {
      if (hangsUp) device.Close();
      device.ReplaceDevice("COM1");
    });
    host.At(start + 5000, [this] { run.CancelRequested = true; });
    Outcome outcome = WaitForOk(run, HandshakeStart::kPlain);
    EXPECT_EQ(outcome.ending, Ending::kLineGone);
    EXPECT_FALSE(run.CancelRequested);
    EXPECT_LT(host.TickCount(), start + 1000);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(device.OpenedBauds().back(), 9600);
    // The words for the log and the question a silent unit gets; the page shows them.
    EXPECT_EQ(outcome.message, FormatText(kLineWentAwayFormat, "COM1"));
    EXPECT_EQ(outcome.question, kOperationTimedOut);
    EXPECT_TRUE(host.ShownBoxes().empty());
    // Starting again takes the device that is there now.
    EXPECT_EQ(SerialOpen(run.link), 1);
    EXPECT_FALSE(SerialLineGone(run.link));
  }
}

TEST_F(WaitForOkTest, TheRunsWaitLimitEndsASilentHandshakeNamingItsStep) {
  StartUnit({.silent = true});
  OpenPort();
  run.waitLimitMs = 3000;
  std::int64_t start = host.TickCount();
  Outcome outcome = WaitForOk(run, HandshakeStart::kWithBreak, "the step");
  EXPECT_EQ(outcome.ending, Ending::kNoAnswer);
  EXPECT_EQ(outcome.message, "No answer from the unit within 3 s: the step");
  EXPECT_EQ(outcome.question, kOperationTimedOut);
  EXPECT_GE(host.TickCount(), start + 3000);
  EXPECT_LT(host.TickCount(), start + 3300);
}

TEST_F(WaitForOkTest, SlowUnitIsStillFound) {
  StartUnit({.replyDelayUs = 60'000});
  OpenPort();
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
}

TEST_F(WaitForOkTest, OnlyCapitalOkCounts) {
  StartUnit({.silent = true});
  OpenPort();
  sim::UnitModel& talker = *unit;
  // Replies that must not count, then the real one.
  talker.MutableKnobs().silent = false;
  talker.SendAt(60'000, "ok\r\n");
  talker.SendAt(160'000, "O\r\n");
  talker.SendAt(260'000, "OKAY then\r\n");
  talker.MutableKnobs().silent = true;
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
  EXPECT_GE(host.TickCount(), 260);
  EXPECT_LT(host.TickCount(), 400);
}

class CheckReplyTest : public VirtualUnitTest {
 protected:
  CheckReplyTest() {
    StartUnit();
    OpenPort();
  }
  void AnswerWith(std::vector<BoxAnswer> answers) {
    host.SetBoxHandler([answers, i = std::size_t{0}](const MessageBoxRequest&) mutable {
      return i < answers.size() ? answers[i++] : BoxAnswer::kOk;
    });
  }
};

TEST_F(CheckReplyTest, MatchingReplyIsLoggedAndAccepted) {
  EXPECT_TRUE(CheckReply(run, "OK done", 7, "OK", kUnitRepliedError).Done());
  EXPECT_NE(LogText().find("Unit sent 'OK done'\r\n\n"), std::string::npos);
  EXPECT_TRUE(host.ShownBoxes().empty());
  EXPECT_TRUE(run.link.open);
}

// CheckReply says what the page asks; it asks nothing, closes nothing.
TEST_F(CheckReplyTest, TimeoutAsksOperationTimedOutAndWrongReplyTheCallersQuestion) {
  Outcome silent = CheckReply(run, "", -1, "OK", kUnitRepliedError);
  EXPECT_EQ(silent.ending, Ending::kNoAnswer);
  EXPECT_EQ(silent.reaction, PageReaction::kAsks);
  EXPECT_EQ(silent.question, "Operation timed out\nTry again?");
  EXPECT_EQ(LogText().find("Unit sent"), std::string::npos);

  Outcome wrong = CheckReply(run, "ERROR bad", 9, "OK", kUnitRepliedError);
  EXPECT_EQ(wrong.ending, Ending::kUnitError);
  EXPECT_EQ(wrong.reply, "ERROR bad");
  EXPECT_EQ(wrong.question, "Unit replied with an error\nTry again?");
  EXPECT_NE(LogText().find("Unit sent 'ERROR bad'\r\n\n"), std::string::npos);

  EXPECT_TRUE(host.ShownBoxes().empty());
  EXPECT_TRUE(run.link.open);
}

TEST_F(CheckReplyTest, OnlyTheFirstTwoCharactersAreCompared) {
  EXPECT_TRUE(CheckReply(run, "OKAY", 4, "OK", kUnitRepliedError).Done());
  EXPECT_EQ(CheckReply(run, "O", 1, "OK", kUnitRepliedError).ending, Ending::kUnitError);
}

TEST_F(CheckReplyTest, AskRetryReturnsTheAnswerAndYesShowsThePowerCycleNote) {
  AnswerWith({BoxAnswer::kNo, BoxAnswer::kYes, BoxAnswer::kOk});
  EXPECT_EQ(AskRetryAfterError(run, "Problem\nTry again?"), 0);
  EXPECT_EQ(AskRetryAfterError(run, "Problem\nTry again?"), 1);
  ASSERT_EQ(host.ShownBoxes().size(), 3u);
  const MessageBoxRequest& box = host.ShownBoxes()[0];
  EXPECT_EQ(box.caption, "Error");
  EXPECT_EQ(box.icon, BoxIcon::kError);
  EXPECT_EQ(box.buttons, BoxButtons::kYesNo);
  EXPECT_EQ(box.owner, nullptr);
  const MessageBoxRequest& note = host.ShownBoxes()[2];
  EXPECT_EQ(note.text, "Please reset the unit by turning\nits power off then on...");
  EXPECT_EQ(note.caption, "Note");
  EXPECT_EQ(note.icon, BoxIcon::kInformation);
  EXPECT_EQ(note.buttons, BoxButtons::kOk);
  EXPECT_NE(LogText().find("Error:Problem\nTry again?\n"), std::string::npos);
}

}  // namespace
}  // namespace rv4410

namespace rv4410 {
namespace {

TEST_F(WaitForOkTest, CancelDuringTheBreakBeforeTheSwitchTo9600LeavesThePortClosed) {
  StartUnit({.silent = true});
  OpenPort();
  // Seven silent attempts of about 100 ms follow the 50 ms drain; the eighth
  // starts with its break at about 750 ms.
  bool cancelledInBreak = false;
  host.Every(5, [&] {
    if (host.Device().BreakCount() == 0) return true;
    cancelledInBreak = true;
    run.CancelRequested = true;
    SerialClose(run.link);
    return false;
  });
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kCancelled);
  EXPECT_TRUE(cancelledInBreak);
  EXPECT_FALSE(run.link.open);
  EXPECT_FALSE(host.Device().IsOpen());
  // Opened at 9600 by the test and at 1200 by step six; not again at 9600.
  EXPECT_EQ(host.Device().OpenedBauds(), (std::vector<int>{9600, 1200}));
}

}  // namespace
}  // namespace rv4410
