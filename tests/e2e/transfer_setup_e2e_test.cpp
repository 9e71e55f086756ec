// Transfer set-up through the real serial port against rv4410-sim on a
// pseudo-terminal whose cable carries at most 38400 baud.

#include <gtest/gtest.h>

#include <array>

#include "platform/qt_host.h"
#include "protocol/command_lines.h"
#include "protocol/transfer_setup.h"
#include "protocol/unit_detection.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "support/virtual_unit_fixture.h"

namespace rv4410::test {
namespace {

TEST(TransferSetupEndToEnd, SettlesAtTheCablesTopSpeedAndTheUnitHoldsTheControlBlock) {
  TempDir dir;
  SimProcess sim({"--cable-max-baud", "38400", "--state-dir", dir.Path()});
  ASSERT_TRUE(sim.Started());
  sim.BindTo("COM1");

  QtHost host;
  RunState run(host, dir.File("Loader.LOG"));
  run.log.LogOpen();
  RecordingTransferPage page;
  ASSERT_EQ(SerialOpen(run.link), 1);
  ASSERT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);

  std::array<std::uint8_t, kControlBlockSize> block{};
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(255 - i);
  block[0] = 0x10;  // a frame start inside the data

  EXPECT_TRUE(SetupTransfer(run, page, LoadMode::kMap, block.data()).Done());
  EXPECT_EQ(run.settings.baudRate, 38400);
  EXPECT_EQ(page.status1033, "   Baud Rate Set to 38400   ");
  std::string log = ReadFile(dir.File("Loader.LOG"));
  int fallBacks = 0;
  for (std::size_t at = log.find("Trying lower baud rate"); at != std::string::npos;
       at = log.find("Trying lower baud rate", at + 1)) {
    ++fallBacks;
  }
  EXPECT_EQ(fallBacks, 2);

  std::string held = ReadFile(dir.File("control_block.bin"));
  ASSERT_EQ(held.size(), block.size());
  EXPECT_TRUE(std::equal(block.begin(), block.end(), held.begin(),
                         [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
  SerialClose(run.link);
}

TEST(UnitDetectionEndToEnd, UnitAt1200BaudIsFoundAndItsLowerCaseLinedReplyDecoded) {
  TempDir dir;
  SimProcess sim({"--speed", "1200", "--id-lower-case", "--id-line-length", "40", "--id-spaces",
                  "--map-area-start", "0x100000", "--map-area-end", "0x300000"});
  ASSERT_TRUE(sim.Started());
  sim.BindTo("COM1");

  QtHost host;
  RunState run(host, dir.File("Loader.LOG"));
  ASSERT_EQ(SerialOpen(run.link), 1);
  ASSERT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kDone);
  EXPECT_EQ(run.settings.baudRate, 1200);
  EXPECT_EQ(QueryUnit(run).ending, Ending::kDone);
  EXPECT_TRUE(run.UnitInfoValid);
  EXPECT_EQ(run.unitInfo.MapAreaStart(), 0x100000u);
  EXPECT_EQ(run.unitInfo.MapAreaEnd(), 0x300000u);
  SerialClose(run.link);
}

}  // namespace
}  // namespace rv4410::test
