// The Win32 host and serial device under Wine against rv4410-sim running on
// Linux: scripts/test-windows links a COM port of the Wine prefix to the
// simulator's pseudo-terminal and names it in RV4410_TEST_PORT, and the
// unit's starting list in RV4410_TEST_LIST.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "config/read_configuration.h"
#include "platform/win32_host.h"
#include "platform/win32_port_names.h"
#include "protocol/command_lines.h"
#include "protocol/run_state.h"
#include "protocol/unit_detection.h"
#include "support/temp_dir.h"

#include "platform/windows_api.h"

namespace rv4410::test {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The boxes are answered by the test: no desktop needed.
class AnsweringWin32Host : public Win32Host {
 public:
  BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    boxes.push_back(request.text);
    return SafestAnswer(request.buttons);
  }
  std::vector<std::string> boxes;
};

// CPU time of this process so far, in milliseconds.
std::int64_t ProcessCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ticks = [](const FILETIME& time) {
    return (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  };
  return (ticks(kernel) + ticks(user)) / 10'000;
}

class Win32HostTest : public ::testing::Test {
 protected:
  Win32HostTest() : run(host, dir.File("Loader.LOG")) {}
  ~Win32HostTest() override { SerialClose(run.link); }

  void SetUp() override {
    ASSERT_FALSE(port.empty()) << "RV4410_TEST_PORT names no COM port";
    run.settings.portName = port;
    run.settings.baudRate = 9600;
    run.log.LogOpen();
  }

  const std::string port = Environment("RV4410_TEST_PORT");
  TempDir dir;
  AnsweringWin32Host host;
  RunState run;
};

TEST_F(Win32HostTest, HandshakeIdentificationAndAConfigurationReadAreExact) {
  ASSERT_EQ(SerialOpen(run.link), 1);
  EXPECT_EQ(host.Device().DevicePath(), Win32DevicePath(port));
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
  EXPECT_EQ(QueryUnit(run).ending, Ending::kDone);
  EXPECT_TRUE(run.UnitInfoValid);

  // The unit's list, byte for byte, in a file that did not exist before.
  run.settings.configFile = dir.File("param.dat");
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kDone);
  EXPECT_EQ(ReadFile(run.settings.configFile), ReadFile(Environment("RV4410_TEST_LIST")));
  EXPECT_TRUE(host.boxes.empty()) << ReadLogFile(dir.File("Loader.LOG"));
}

// Wine opens a device for as many as ask, so a port in use cannot be shown
// here; Windows refuses the second open with access denied.
TEST_F(Win32HostTest, AMissingPortIsMissingAndAPresentOneFound) {
  Win32SerialDevice device;
  EXPECT_FALSE(device.Open("COM250", 9600));
  EXPECT_EQ(ClassifyWin32OpenError(device.LastOpenError()), PortState::kMissing);
  EXPECT_EQ(host.DiagnosePort("COM250").state, PortState::kMissing);
  EXPECT_EQ(host.DiagnosePort(port).state, PortState::kFound);
  // The refusal of an open is what tells a port in use, and the log says so.
  EXPECT_EQ(DescribePortDiagnosis(port, DiagnoseWin32Port(port, ERROR_ACCESS_DENIED)),
            port + ": in use by another program.");
  EXPECT_EQ(DiagnoseWin32Port("COM250", ERROR_ACCESS_DENIED).state, PortState::kMissing);
  bool listed = false;
  for (const Win32Port& found : FindWin32Ports()) listed = listed || found.name == port;
  EXPECT_TRUE(listed);
}

TEST_F(Win32HostTest, ASpeedChangeReopensTheSameDeviceAndItStillAnswers) {
  ASSERT_EQ(SerialOpen(run.link), 1);
  DeviceIdentity opened = host.Device().OpenedIdentity();
  EXPECT_NE(opened, DeviceIdentity{});
  EXPECT_EQ(host.Device().IdentityNow(), opened);
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
  run.settings.baudRate = 19200;
  ASSERT_EQ(SerialReopen(run.link), 1);
  EXPECT_EQ(host.Device().OpenedIdentity(), opened);
  // The unit stays at its own speed: a garbled exchange, then the handshake
  // finds it again, so the bytes went out whole and in order both times.
  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
}

// A silent line: the wait sleeps until its deadline instead of spinning.
// The CPU share is printed for scripts/test-windows to report.
TEST_F(Win32HostTest, AWaitOnASilentLineSleeps) {
  ASSERT_EQ(SerialOpen(run.link), 1);
  std::int64_t wakeupsBefore = host.Wakeups();
  std::int64_t cpuBefore = ProcessCpuMs();
  std::int64_t start = host.TickCount();
  std::int64_t deadline = start + 4000;
  while (host.Serial().BytesWaiting() == 0 && host.TickCount() < deadline) {
    host.WaitForEvent(deadline);
  }
  std::int64_t waited = host.TickCount() - start;
  std::int64_t cpu = ProcessCpuMs() - cpuBefore;
  EXPECT_GE(waited, 4000);
  EXPECT_LT(host.Wakeups() - wakeupsBefore, 10);
  std::printf("wait-cpu: %lld ms of CPU in %lld ms waited (%.2f%%)\n", static_cast<long long>(cpu),
              static_cast<long long>(waited),
              100.0 * static_cast<double>(cpu) / static_cast<double>(waited));
}

// The simulator ends while the port is open (scripts/test-windows stops it
// two seconds after this test starts): the pending read fails, the device
// closes, and the link tells that the line went away.
TEST_F(Win32HostTest, TheLineGoingAwayClosesTheDevice) {
  if (Environment("RV4410_TEST_HANGUP").empty()) GTEST_SKIP() << "needs the simulator stopped";
  ASSERT_EQ(SerialOpen(run.link), 1);
  std::int64_t deadline = host.TickCount() + 10'000;
  while (host.Device().IsOpen() && host.TickCount() < deadline) host.WaitForEvent(deadline);
  EXPECT_FALSE(host.Device().IsOpen());
  EXPECT_TRUE(SerialLineGone(run.link));
  // Nothing is at the port's far end now: a reopen is refused.
  EXPECT_EQ(SerialReopen(run.link), 0);
}

}  // namespace
}  // namespace rv4410::test
