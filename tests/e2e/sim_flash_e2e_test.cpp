// The simulated unit on a pseudo-terminal through the real serial port: a
// program load at the negotiated speed, a flash write longer than the unit's
// quiet spell, the restart, and a unit that hangs up.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/qt_host.h"
#include "protocol/block_frame.h"
#include "protocol/command_lines.h"
#include "protocol/transfer_setup.h"
#include "support/image_builders.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "support/virtual_unit_fixture.h"

namespace rv4410::test {
namespace {

void Pause(Host& host, std::int64_t ms) {
  std::int64_t end = host.TickCount() + ms;
  while (host.TickCount() < end) host.WaitForEvent(end);
}

class SimFlashEndToEnd : public ::testing::Test {
 protected:
  void Connect(std::vector<std::string> arguments) {
    sim = std::make_unique<SimProcess>(arguments);
    ASSERT_TRUE(sim->Started());
    sim->BindTo("COM1");
    run.log.LogOpen();
    ASSERT_EQ(SerialOpen(run.link), 1);
    ASSERT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
  }
  // One data block and its answer.
  std::string Block(const Bytes& image, std::size_t offset) {
    int length = static_cast<int>(std::min<std::size_t>(1024, image.size() - offset));
    EXPECT_EQ(
        SendBlock(run, 0x44, image.data() + offset, length, static_cast<std::uint32_t>(offset)), 0);
    char reply[256] = "no reply";
    ReceiveLine(run, reply, 1050);
    return reply;
  }

  TempDir dir;
  std::unique_ptr<SimProcess> sim;
  QtHost host;
  RunState run{host, dir.File("Loader.LOG")};
  RecordingTransferPage page;
};

TEST_F(SimFlashEndToEnd, ProgramIsFlashedAtTheNegotiatedSpeedAndTheUnitComesBackAt9600) {
  std::string journal = dir.File("journal.txt");
  std::string flashed = dir.File("program.bin");
  // The erase alone outlasts the unit's quiet spell at a new speed.
  Connect({"--journal", journal, "--program-out", flashed, "--program-erase-ms", "2500",
           "--reply-delay-ms", "1"});
  ProgramImagePlan plan;
  plan.length = 256 + 3 * 1024 + 100;
  Bytes image = BuildProgramImage(plan);
  ASSERT_TRUE(SetupTransfer(run, page, LoadMode::kProgram, image.data()).Done());
  EXPECT_EQ(run.settings.baudRate, 115200);
  for (std::size_t offset = 256; offset < image.size(); offset += 1024) {
    ASSERT_EQ(Block(image, offset).substr(0, 2), "OK") << offset;
  }
  // No break crosses a pseudo-terminal: the unit is found at the speed of the data.
  Pause(host, 100);
  ASSERT_EQ(WaitForOk(run, HandshakeStart::kWithBreak).ending, Ending::kDone);
  EXPECT_EQ(run.settings.baudRate, 115200);
  Pause(host, 100);
  char reply[256] = "";
  SendLine(run, "\r\n");
  int probe = ReceiveLine(run, reply, 1000);
  EXPECT_TRUE(probe == 0 || std::strncmp(reply, "OK", 2) == 0) << reply;
  SendLine(run, "W\r\n");
  std::vector<std::string> lines;
  while (ReceiveLine(run, reply, 240000) >= 0 && std::strncmp(reply, "Begin", 5) == 0) {
    lines.push_back(reply);
  }
  EXPECT_STREQ(reply, "OK");
  EXPECT_EQ(lines, (std::vector<std::string>{"Begin erase", "Begin write"}));

  Pause(host, 2000);
  ASSERT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
  EXPECT_EQ(run.settings.baudRate, 9600);
  EXPECT_EQ(ReadFile(flashed), AsString(image));
  std::string entries = ReadFile(journal);
  EXPECT_NE(entries.find(" flash-program 3428 bytes\n"), std::string::npos) << entries;
  EXPECT_NE(entries.find(" restart 1500 ms\n"), std::string::npos);
  EXPECT_NE(entries.find(" ready 9600 baud\n"), std::string::npos);
  SerialClose(run.link);
}

TEST_F(SimFlashEndToEnd, UnitThatHangsUpAtABlockTakesTheDeviceAway) {
  Connect({"--hang-up-at", "block:1"});
  ProgramImagePlan plan;
  plan.length = 256 + 3 * 1024;
  Bytes image = BuildProgramImage(plan);
  ASSERT_TRUE(SetupTransfer(run, page, LoadMode::kProgram, image.data()).Done());
  EXPECT_EQ(Block(image, 256).substr(0, 2), "OK");
  ASSERT_EQ(SendBlock(run, 0x44, image.data() + 1280, 1024, 1280), 0);
  char reply[256] = "";
  EXPECT_LT(ReceiveLine(run, reply, 1050), 0);
  EXPECT_FALSE(SerialIsOpen(run.link));
  EXPECT_EQ(SerialOpen(run.link), 0);
}

}  // namespace
}  // namespace rv4410::test
