// The serial link and command lines over the real QSerialPort, against
// rv4410-sim on a pseudo-terminal, in real time.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTimer>
#include <string>

#include "platform/qt_host.h"
#include "platform/qt_serial_device.h"
#include "protocol/command_lines.h"
#include "protocol/run_state.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace rv4410::test {
namespace {

// Five cancel characters: the attention request the unit answers with "OK".
constexpr const char* kAttention = "\x18\x18\x18\x18\x18";

class SerialLinkE2eTest : public ::testing::Test {
 protected:
  SerialLinkE2eTest() : run(host, dir.File("Loader.LOG")) {}
  ~SerialLinkE2eTest() override { SerialClose(run.link); }

  // Starts a simulator with `arguments` and makes "COM1" reach it.
  SimProcess& StartSim(const std::vector<std::string>& arguments) {
    sim = std::make_unique<SimProcess>(arguments);
    EXPECT_TRUE(sim->Started()) << "rv4410-sim did not print its terminal";
    sim->BindTo("COM1");
    return *sim;
  }

  // A handshake that never finds the unit would run for ever: cancel it after
  // `ms` so that the test fails instead of hanging.
  void CancelAfter(int ms) {
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [this] { run.CancelRequested = true; });
    watchdog.start(ms);
  }

  TempDir dir;
  QtHost host;
  RunState run;
  std::unique_ptr<SimProcess> sim;
  QTimer watchdog;
};

TEST_F(SerialLinkE2eTest, HandshakeFindsUnitThatAnswersOnlyAt1200AndStaysThere) {
  StartSim({"--speed", "1200"});
  run.settings.baudRate = 9600;
  ASSERT_EQ(SerialOpen(run.link), 1);
  CancelAfter(10000);

  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
  // Five attempts at 9600 are garbled; the sixth reopens at 1200 and is answered.
  EXPECT_FALSE(run.CancelRequested) << "no OK within 10 s";
  EXPECT_LT(elapsed.elapsed(), 3000);
  EXPECT_EQ(run.settings.baudRate, 1200);
  EXPECT_TRUE(run.link.open);
  EXPECT_TRUE(host.Device().IsOpen());
  EXPECT_EQ(host.Device().DevicePath(), sim->Path());

  // The port really is at 1200: the unit answers there at once.
  SendLine(run, "%s", kAttention);
  ReplyBuffer reply{};
  EXPECT_EQ(ReceiveLine(run, reply.data(), 500), 2);
  EXPECT_STREQ(reply.data(), "OK");
}

TEST_F(SerialLinkE2eTest, HandshakeWithBreakFindsUnitOnTerminalThatCarriesNoBreak) {
  StartSim({});
  ASSERT_EQ(SerialOpen(run.link), 1);
  CancelAfter(5000);
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kWithBreak).ending, Ending::kDone);
  EXPECT_FALSE(run.CancelRequested);
  EXPECT_EQ(run.settings.baudRate, 9600);
  EXPECT_TRUE(host.Device().IsOpen());
  EXPECT_EQ(host.Device().ErrorReports(), 0);
}

TEST_F(SerialLinkE2eTest, BytesWrittenJustBeforeCloseStillReachTheUnit) {
  // The reply waits long enough for the port to be closed and reopened first.
  StartSim({"--reply-delay-ms", "200"});
  ASSERT_EQ(SerialOpen(run.link), 1);
  SendLine(run, "%s", kAttention);
  SerialClose(run.link);
  ASSERT_EQ(SerialOpen(run.link), 1);
  ReplyBuffer reply{};
  EXPECT_EQ(ReceiveLine(run, reply.data(), 1000), 2);
  EXPECT_STREQ(reply.data(), "OK");
}

TEST_F(SerialLinkE2eTest, SecondOpenOfTheSameDeviceFailsWhileTheFirstHoldsIt) {
  StartSim({});
  ASSERT_EQ(SerialOpen(run.link), 1);

  QtSerialDevice second;
  EXPECT_FALSE(second.Open("COM1", 9600));
  EXPECT_FALSE(second.IsOpen());

  // TIOCEXCL keeps other plain opens out, but not root's: for root it is
  // QSerialPort's lock file alone that kept the second device out above.
  int plain = ::open(sim->Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (geteuid() == 0) {
    EXPECT_GE(plain, 0);
  } else {
    EXPECT_LT(plain, 0);
  }
  if (plain >= 0) ::close(plain);

  EXPECT_EQ(SerialClose(run.link), 1);
  EXPECT_TRUE(second.Open("COM1", 9600));
  // And now the first one is the one kept out.
  EXPECT_EQ(SerialOpen(run.link), 0);
  second.Close();
  EXPECT_EQ(SerialOpen(run.link), 1);
}

TEST_F(SerialLinkE2eTest, SecondOpenReopensTheDeviceAtTheSpeedOfTheMoment) {
  StartSim({"--speed", "1200"});
  run.settings.baudRate = 9600;
  ASSERT_EQ(SerialOpen(run.link), 1);
  run.settings.baudRate = 1200;
  ASSERT_EQ(SerialOpen(run.link), 1);
  EXPECT_TRUE(host.Device().IsOpen());
  // The unit answers only at 1200: the port really is there now.
  SendLine(run, "%s", kAttention);
  ReplyBuffer reply{};
  EXPECT_EQ(ReceiveLine(run, reply.data(), 500), 2);
  EXPECT_STREQ(reply.data(), "OK");
  EXPECT_EQ(SerialClose(run.link), 1);
  EXPECT_FALSE(host.Device().IsOpen());

  // The device itself: a second open of an open device opens it afresh.
  QtSerialDevice device;
  ASSERT_TRUE(device.Open("COM1", 9600));
  EXPECT_TRUE(device.Open("COM1", 1200));
  EXPECT_TRUE(device.IsOpen());
  device.Close();
  EXPECT_FALSE(device.IsOpen());
}

TEST_F(SerialLinkE2eTest, SimulatorEndingDuringReceiveEndsTheWaitAtOnceWithPortClosed) {
  StartSim({"--silent"});
  ASSERT_EQ(SerialOpen(run.link), 1);
  QTimer::singleShot(300, [this] { sim->Stop(); });

  // Deadlines are on the host's clock; measure on it too.
  std::int64_t start = host.TickCount();
  std::int64_t wakeupsBefore = host.Wakeups();
  ReplyBuffer reply{};
  // Nothing more can come: the receive does not wait out its 5 s.
  EXPECT_EQ(ReceiveLine(run, reply.data(), 5000), -1);
  std::int64_t waited = host.TickCount() - start;
  EXPECT_GE(waited, 300);
  EXPECT_LT(waited, 600);
  EXPECT_TRUE(SerialLineGone(run.link));

  // The hang-up closed the port: reads fail at once, and it counts as closed.
  EXPECT_FALSE(host.Device().IsOpen());
  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_EQ(SerialReadByte(run.link), -1);
  EXPECT_LT(elapsed.elapsed(), 5);
  EXPECT_FALSE(run.link.open);
  EXPECT_EQ(SerialClose(run.link), 0);

  // No storm: the hang-up is reported a few times. Reads of 40 ms make
  // about 8 wakeups before the hang-up.
  EXPECT_GE(host.Device().ErrorReports(), 1);
  EXPECT_LE(host.Device().ErrorReports(), 3);
  EXPECT_LT(host.Wakeups() - wakeupsBefore, 50);
}

TEST_F(SerialLinkE2eTest, CommandLineExchangeAtTheUnitsSpeedIsPacedByTheLine) {
  StartSim({"--speed", "1200"});
  run.settings.baudRate = 1200;
  ASSERT_EQ(SerialOpen(run.link), 1);

  QElapsedTimer elapsed;
  elapsed.start();
  EXPECT_EQ(SendLine(run, "%s", kAttention), 1);
  ReplyBuffer reply{};
  EXPECT_EQ(ReceiveLine(run, reply.data(), 500), 2);
  EXPECT_STREQ(reply.data(), "OK");
  // At 1200 baud a character takes 8.3 ms: five cancel characters out and
  // "OK\r" back make eight.
  EXPECT_GE(elapsed.elapsed(), 66);
  // The line feed behind it is skipped by the next receive, which then times out.
  EXPECT_EQ(ReceiveLine(run, reply.data(), 100), -1);
}

TEST_F(SerialLinkE2eTest, UnitAtAnotherSpeedIsNotFoundWhileLoaderStaysAtItsSpeed) {
  StartSim({"--speed", "9600"});
  run.settings.baudRate = 19200;
  ASSERT_EQ(SerialOpen(run.link), 1);

  // The unit hears the cancel characters garbled and never answers.
  ReplyBuffer reply{};
  for (int attempt = 0; attempt < 3; ++attempt) {
    SendLine(run, "%s", kAttention);
    EXPECT_EQ(ReceiveLine(run, reply.data(), 100), -1);
  }

  // At its own speed it answers.
  SerialClose(run.link);
  run.settings.baudRate = 9600;
  ASSERT_EQ(SerialOpen(run.link), 1);
  SendLine(run, "%s", kAttention);
  EXPECT_EQ(ReceiveLine(run, reply.data(), 500), 2);
  EXPECT_STREQ(reply.data(), "OK");
}

TEST_F(SerialLinkE2eTest, ReplySentAtAnotherSpeedArrivesGarbled) {
  StartSim({"--speed", "9600", "--reply-delay-ms", "300"});
  run.settings.baudRate = 9600;
  ASSERT_EQ(SerialOpen(run.link), 1);
  SendLine(run, "%s", kAttention);
  // Change speed before the unit's reply leaves: it reaches a receiver at
  // 19200 and arrives as bytes with nothing of "OK\r\n" in them.
  SerialClose(run.link);
  run.settings.baudRate = 19200;
  ASSERT_EQ(SerialOpen(run.link), 1);

  // Read byte by byte: on a busy machine the simulator may pause between
  // bytes for longer than a line's 40 ms gap.
  std::string received;
  std::int64_t deadline = host.TickCount() + 1000;
  while (received.size() < 4 && host.TickCount() < deadline) {
    int c = SerialReadByte(run.link);
    if (c >= 0) received.push_back(static_cast<char>(c));
  }
  ASSERT_EQ(received.size(), 4u);
  for (char c : received) EXPECT_GE(static_cast<unsigned char>(c), 0x80);
}

// Bad input from the unit, over the real port: after answering the attention
// the unit sends what --babble names.
class BadInputE2eTest : public SerialLinkE2eTest {
 protected:
  // Gets the unit's "OK"; what it babbles follows.
  void StartBabblingUnit(const std::string& kind) {
    StartSim({"--babble", kind});
    ASSERT_EQ(SerialOpen(run.link), 1);
    SendLine(run, "%s", kAttention);
    ReplyBuffer ok{};
    ASSERT_EQ(ReceiveLine(run, ok.data(), 500), 2);
  }
  ReplyBuffer reply{};
};

TEST_F(BadInputE2eTest, HighBytesArriveAsThemselvesNeverAsEndOfInput) {
  StartBabblingUnit("ff");
  ASSERT_EQ(ReceiveLine(run, reply.data(), 500), 3);
  EXPECT_EQ(static_cast<unsigned char>(reply[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(reply[1]), 0x80);
  EXPECT_EQ(static_cast<unsigned char>(reply[2]), 0xFF);
}

TEST_F(BadInputE2eTest, NulBytesSpacesAndLineFeedsBeforeLineAreSkipped) {
  StartBabblingUnit("nul");
  EXPECT_EQ(ReceiveLine(run, reply.data(), 500), 5);
  EXPECT_STREQ(reply.data(), "READY");
}

TEST_F(BadInputE2eTest, LongLineIsCutAt254AndItsRestIsTheNextLine) {
  StartBabblingUnit("long-line");
  EXPECT_EQ(ReceiveLine(run, reply.data(), 1000), kReplyMaxLength);
  EXPECT_EQ(std::string(reply.data()), std::string(kReplyMaxLength, 'L'));
  EXPECT_EQ(ReceiveLine(run, reply.data(), 1000), 300 - kReplyMaxLength);
}

TEST_F(BadInputE2eTest, EndlessSpacesEndInTimeoutAndCancelStillStopsTheWait) {
  StartBabblingUnit("spaces");
  std::int64_t start = host.TickCount();
  EXPECT_EQ(ReceiveLine(run, reply.data(), 300), -1);
  EXPECT_GE(host.TickCount() - start, 300);
  EXPECT_LT(host.TickCount() - start, 400);

  // Spaces keep coming, yet the flag is seen at the next byte.
  QElapsedTimer sinceCancel;
  QTimer::singleShot(200, [&] {
    sinceCancel.start();
    run.CancelRequested = true;
  });
  EXPECT_EQ(ReceiveLine(run, reply.data(), 5000), -1);
  ASSERT_TRUE(sinceCancel.isValid());
  EXPECT_LT(sinceCancel.elapsed(), 50);
}

}  // namespace
}  // namespace rv4410::test
