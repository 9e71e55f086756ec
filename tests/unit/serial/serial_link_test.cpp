#include "serial/serial_link.h"

#include <gtest/gtest.h>

#include "support/virtual_unit_fixture.h"

namespace rv4410 {
namespace {

using test::VirtualUnitTest;

class SerialLinkTest : public VirtualUnitTest {
 protected:
  SerialLinkTest() { StartUnit(); }
};

TEST_F(SerialLinkTest, OpenAndCloseReportWhetherAPortWasOpen) {
  EXPECT_EQ(SerialClose(run.link), 0);
  ASSERT_EQ(SerialOpen(run.link), 1);
  EXPECT_EQ(host.Device().Baud(), 9600);
  EXPECT_EQ(SerialClose(run.link), 1);
  EXPECT_EQ(SerialClose(run.link), 0);
}

TEST_F(SerialLinkTest, MissingOrBusyPortDoesNotOpenAndShowsNothing) {
  run.settings.portName = "COM3";
  host.Device().SetPortPresent("COM3", false);
  EXPECT_EQ(SerialOpen(run.link), 0);
  EXPECT_EQ(SerialClose(run.link), 0);
  host.Device().SetPortPresent("COM3", true);
  host.Device().SetHeldElsewhere(true);
  EXPECT_EQ(SerialOpen(run.link), 0);
  EXPECT_FALSE(run.link.open);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(SerialLinkTest, RejectedSpeedLeavesThePortClosed) {
  run.settings.baudRate = 57600;
  host.Device().SetBaudRejected(57600, true);
  EXPECT_EQ(SerialOpen(run.link), 0);
  EXPECT_FALSE(host.Device().IsOpen());
}

TEST_F(SerialLinkTest, OpenUsesTheSettingsOfTheMoment) {
  run.settings.baudRate = 1200;
  OpenPort();
  EXPECT_EQ(host.Device().Baud(), 1200);
  EXPECT_EQ(host.Device().PortName(), "COM1");
}

TEST_F(SerialLinkTest, ReceivedByteFFIsTwoHundredFiftyFiveNotMinusOne) {
  OpenPort();
  unit->Send(std::string("\xFF\x00", 2));
  EXPECT_EQ(SerialReadByte(run.link), 255);
  EXPECT_EQ(SerialReadByte(run.link), 0);
}

TEST_F(SerialLinkTest, ReadWithoutPortFailsAtOnce) {
  std::int64_t before = host.NowUs();
  EXPECT_EQ(SerialReadByte(run.link), -1);
  EXPECT_EQ(host.NowUs(), before);
}

TEST_F(SerialLinkTest, ReadOfASilentLineFailsAfterFortyMilliseconds) {
  OpenPort();
  std::int64_t before = host.TickCount();
  EXPECT_EQ(SerialReadByte(run.link), -1);
  EXPECT_EQ(host.TickCount() - before, 40);
}

TEST_F(SerialLinkTest, OpenDiscardsBytesThatArrivedBefore) {
  OpenPort();
  unit->Send("stale");
  host.RunFor(50);
  ASSERT_GT(host.Device().BytesWaiting(), 0u);
  SerialClose(run.link);
  OpenPort();
  EXPECT_EQ(SerialReadByte(run.link), -1);
}

TEST_F(SerialLinkTest, PortClosedByAUserEventDuringAReadFailsTheRead) {
  OpenPort();
  host.At(10, [this] { SerialClose(run.link); });
  EXPECT_EQ(SerialReadByte(run.link), -1);
  EXPECT_LE(host.TickCount(), 40);
}

TEST_F(SerialLinkTest, WrittenBytesReachTheUnitAtTheLineRate) {
  OpenPort();
  for (char c : std::string("QP\r")) SerialWriteByte(run.link, static_cast<std::uint8_t>(c));
  host.RunFor(10);
  ASSERT_EQ(UnitCommands().size(), 1u);
  EXPECT_EQ(UnitCommands()[0], "QP");
}

TEST_F(SerialLinkTest, FullOutputQueueDropsTheByteAfterFortyMilliseconds) {
  run.settings.baudRate = 1200;
  OpenPort();
  // 8192 bytes fill the driver queue; at 1200 baud it drains one byte per 8.3 ms.
  std::vector<std::uint8_t> fill(kDriverQueueSize, 'x');
  ASSERT_EQ(host.Device().Write(fill.data(), fill.size()), kDriverQueueSize);
  std::int64_t before = host.TickCount();
  SerialWriteByte(run.link, 'y');
  // The byte found room once the first queued byte had left.
  EXPECT_LT(host.TickCount() - before, 40);
  EXPECT_GT(host.TickCount() - before, 0);
}

TEST_F(SerialLinkTest, AQueueThatDrainsInChunksLosesNoByte) {
  // 115200 baud: 8192 bytes are 711 ms on the line. The line holds them back
  // and lets them go 300 ms later in one go, as a device that reports room in
  // chunks does: the next byte waits for it rather than being dropped.
  run.settings.baudRate = 115200;
  OpenPort();
  host.Device().HoldOutput(true);
  for (std::size_t i = 0; i < kDriverQueueSize; ++i) SerialWriteByte(run.link, 'x');
  ASSERT_EQ(host.Device().UnsentBytes(), kDriverQueueSize);
  std::int64_t before = host.TickCount();
  host.At(before + 300, [this] { host.Device().HoldOutput(false); });
  SerialWriteByte(run.link, 'y');
  EXPECT_GE(host.TickCount() - before, 300);
  EXPECT_LT(host.TickCount() - before, 310);
  EXPECT_EQ(host.Device().UnsentBytes(), kDriverQueueSize);
}

TEST_F(SerialLinkTest, AStuckLineDropsTheByte40MsAfterItsQueueShouldHaveDrained) {
  run.settings.baudRate = 115200;
  OpenPort();
  host.Device().HoldOutput(true);
  for (std::size_t i = 0; i < kDriverQueueSize; ++i) SerialWriteByte(run.link, 'x');
  std::int64_t drainedAt = (run.link.lineFreeUs + 999) / 1000;
  SerialWriteByte(run.link, 'y');
  EXPECT_EQ(host.TickCount(), drainedAt + 40);
  EXPECT_EQ(host.Device().UnsentBytes(), kDriverQueueSize);
  // The next byte waits only its own 40 ms.
  std::int64_t before = host.TickCount();
  SerialWriteByte(run.link, 'z');
  EXPECT_EQ(host.TickCount() - before, 40);
}

// What a close leaves on the wire. A unit at 1200 baud on a port that rests
// at 9600: "RESET" is written, then the port is closed by the way given.
class SerialCloseTest : public SerialLinkTest {
 protected:
  SerialCloseTest() { WriteResetAt1200(); }
  void WriteResetAt1200() {
    StartUnit({.speed = 1200});
    run.settings.baudRate = 1200;
    OpenPort();
    for (char c : std::string("RESET\r")) SerialWriteByte(run.link, static_cast<std::uint8_t>(c));
    closedAt = (run.link.lineFreeUs + 999) / 1000 + kOutputSettleMs;
  }
  bool UnitHeardReset() {
    host.RunFor(1000);
    return UnitCommands() == std::vector<std::string>{"RESET"};
  }
  // When a close that waits for the last stop bit returns.
  std::int64_t closedAt = 0;
};

TEST_F(SerialCloseTest, CloseAndSpeedChangeWaitForTheLastStopBitAndTwentyMilliseconds) {
  for (int nextBaud : {0, 9600, 1200}) {
    SCOPED_TRACE(nextBaud);
    if (nextBaud != 0) {
      WriteResetAt1200();
      run.settings.baudRate = nextBaud;
    }
    EXPECT_EQ(nextBaud == 0 ? SerialClose(run.link) : SerialOpen(run.link), 1);
    EXPECT_EQ(host.TickCount(), closedAt);
    EXPECT_TRUE(UnitHeardReset());
    // Nothing written since: the next close does not wait.
    std::int64_t before = host.TickCount();
    SerialClose(run.link);
    EXPECT_EQ(host.TickCount(), before);
  }
}

TEST_F(SerialCloseTest, AStopTheUserAskedForClosesAtOnceAndDropsTheBytes) {
  std::int64_t before = host.TickCount();
  EXPECT_EQ(SerialCloseNow(run.link), 1);
  EXPECT_EQ(host.TickCount(), before);
  EXPECT_EQ(SerialCloseNow(run.link), 0);
  EXPECT_FALSE(UnitHeardReset());
}

TEST_F(SerialCloseTest, ACancelDuringTheWaitEndsItAtOnce) {
  host.At(host.TickCount() + 5, [this] { SerialCloseNow(run.link); });
  std::int64_t before = host.TickCount();
  EXPECT_EQ(SerialClose(run.link), 1);
  EXPECT_EQ(host.TickCount(), before + 5);
  EXPECT_FALSE(host.Device().IsOpen());
}

TEST_F(SerialCloseTest, OutputTheLineHoldsBackIsWaitedForOnlyItsLineTimeThenDropped) {
  host.Device().HoldOutput(true);
  EXPECT_EQ(SerialClose(run.link), 1);
  EXPECT_EQ(host.TickCount(), closedAt);
  host.Device().HoldOutput(false);
  EXPECT_FALSE(UnitHeardReset());
}

TEST_F(SerialLinkTest, WriteWithoutPortReturnsAtOnce) {
  std::int64_t before = host.NowUs();
  SerialWriteByte(run.link, 'x');
  EXPECT_EQ(host.NowUs(), before);
}

TEST_F(SerialLinkTest, BreakHoldsTheLineForOneHundredMilliseconds) {
  OpenPort();
  std::int64_t before = host.TickCount();
  SerialSendBreak(run.link);
  EXPECT_EQ(host.TickCount() - before, 100);
  EXPECT_EQ(unit->Breaks(), 1);
  SerialClose(run.link);
  before = host.TickCount();
  SerialSendBreak(run.link);
  EXPECT_EQ(host.TickCount() - before, 100);
  EXPECT_EQ(unit->Breaks(), 1);
}

TEST_F(SerialLinkTest, UserEventsRunDuringABreak) {
  OpenPort();
  bool ran = false;
  host.At(50, [&ran] { ran = true; });
  SerialSendBreak(run.link);
  EXPECT_TRUE(ran);
}

TEST_F(SerialLinkTest, PurgeDiscardsWaitingInput) {
  OpenPort();
  unit->Send("junk\r\n");
  host.RunFor(50);
  SerialPurge(run.link);
  EXPECT_EQ(SerialReadByte(run.link), -1);
}

TEST_F(SerialLinkTest, ScratchBufferIsObtainedOnceAndFreed) {
  IoBufferAlloc(run.link);
  ASSERT_TRUE(run.link.ioBuffer);
  std::uint8_t* first = run.link.ioBuffer.get();
  IoBufferAlloc(run.link);
  EXPECT_EQ(run.link.ioBuffer.get(), first);
  IoBufferFree(run.link);
  EXPECT_FALSE(run.link.ioBuffer);
  // The next open obtains it again.
  OpenPort();
  EXPECT_TRUE(run.link.ioBuffer);
}

}  // namespace
}  // namespace rv4410

namespace rv4410 {
namespace {

TEST_F(SerialLinkTest, PortClosedDuringABreakEndsTheWaitAtOnce) {
  OpenPort();
  host.At(30, [this] { SerialClose(run.link); });
  SerialSendBreak(run.link);
  EXPECT_EQ(host.TickCount(), 30);
  EXPECT_FALSE(host.Device().IsOpen());
}

}  // namespace
}  // namespace rv4410

namespace rv4410 {
namespace {

TEST_F(SerialLinkTest, SecondOpenReopensAtTheSettingsOfTheMoment) {
  OpenPort();
  unit->Send("stale");
  host.RunFor(50);
  run.settings.baudRate = 1200;
  run.settings.portName = "COM2";
  EXPECT_EQ(SerialOpen(run.link), 1);
  EXPECT_EQ(host.Device().Baud(), 1200);
  EXPECT_EQ(host.Device().PortName(), "COM2");
  EXPECT_EQ(host.Device().OpenedBauds(), (std::vector<int>{9600, 1200}));
  // As any open, it starts with nothing queued.
  EXPECT_EQ(SerialReadByte(run.link), -1);
  EXPECT_EQ(SerialClose(run.link), 1);
  EXPECT_EQ(SerialClose(run.link), 0);
}

TEST_F(SerialLinkTest, SecondOpenThatFailsLeavesNoPortOpen) {
  OpenPort();
  run.settings.portName = "COM4";
  host.Device().SetPortPresent("COM4", false);
  EXPECT_EQ(SerialOpen(run.link), 0);
  EXPECT_FALSE(run.link.open);
  EXPECT_FALSE(host.Device().IsOpen());
  EXPECT_EQ(SerialClose(run.link), 0);
}

}  // namespace
}  // namespace rv4410
