#pragma once
// A whole simulated unit as rv4410-sim builds it, driven directly, with the
// steps of a program or map load as the loader takes them.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/configuration_exchange.h"
#include "sim/map_load.h"
#include "sim/program_load.h"
#include "sim/sim_options.h"
#include "sim/unit_features.h"
#include "unit/sim/unit_line_driver.h"

namespace rv4410::test {

inline constexpr int kBlockBytes = 1024;

class SimLoadTest : public ::testing::Test {
 protected:
  SimLoadTest() { options.speeds.quietReturnUs = 0; }

  // Builds the unit from `options` (call once, after setting them).
  void Start() {
    unit = std::make_unique<sim::UnitModel>(options.line);
    sim::AddUnitFeatures(*unit, options);
    driver = std::make_unique<UnitLineDriver>(*unit);
    program = unit->Find<sim::ProgramLoadFeature>();
    map = unit->Find<sim::MapLoadFeature>();
    configuration = unit->Find<sim::ConfigurationExchange>();
  }
  std::string Talk(std::string_view text, std::int64_t ms = 100) {
    driver->Send(text, baud);
    return driver->Receive(ms, baud);
  }
  // "BR", then the load mode and the control block, each answered "OK".
  void SetUpLoad(char mode, const std::vector<std::uint8_t>& controlBlock, int speed = 9600) {
    if (speed != baud) {
      ASSERT_EQ(Talk("BR " + std::to_string(speed) + "\r"), "OK\r\n");
      baud = speed;
    }
    ASSERT_EQ(Talk(std::string(1, mode) + "\r"), "OK\r\n");
    ASSERT_EQ(Talk(Frame(0x43, controlBlock), 300), "OK\r\n");
  }
  std::string Block(const std::vector<std::uint8_t>& bytes, std::size_t offset,
                    std::uint32_t address, std::int64_t ms = 1050) {
    std::size_t length = std::min<std::size_t>(kBlockBytes, bytes.size() - offset);
    std::vector<std::uint8_t> data(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(offset + length));
    return Talk(Frame(0x44, data, address), ms);
  }
  // Every block of `bytes` from `offset`, address = offset + `addressBias`; all answered "OK".
  void SendBlocks(const std::vector<std::uint8_t>& bytes, std::size_t offset,
                  std::uint32_t addressBias) {
    for (; offset < bytes.size(); offset += kBlockBytes) {
      ASSERT_EQ(Block(bytes, offset, static_cast<std::uint32_t>(offset + addressBias)), "OK\r\n")
          << "block at " << offset;
    }
  }
  // "P", the control block, the data blocks of `image`.
  void LoadProgram(const std::vector<std::uint8_t>& image, int speed = 9600) {
    std::vector<std::uint8_t> controlBlock(image.begin(), image.begin() + 256);
    SetUpLoad('P', controlBlock, speed);
    SendBlocks(image, 256, 0);
  }
  void LoadMap(const std::vector<std::uint8_t>& controlBlock, const std::vector<std::uint8_t>& data,
               int speed = 9600) {
    SetUpLoad('M', controlBlock, speed);
    SendBlocks(data, 0, 256);
  }
  // The probe, then "W" and its answer lines up to "OK" or a pause of `ms`.
  std::string FlashWrite(std::int64_t ms = 240000) {
    EXPECT_EQ(Talk("\r\n"), "OK\r\n");
    driver->Send("W\r\n", baud);
    return driver->ReceiveUntil("OK\r\n", ms, baud);
  }
  // Whether the unit answers the attention handshake at `speed` within 100 ms.
  bool Answers(int speed = 9600) {
    driver->Send("\x18\x18\x18\x18\x18", speed);
    return driver->Receive(100, speed) == "OK\r\n";
  }

  sim::SimOptions options;
  std::unique_ptr<sim::UnitModel> unit;
  std::unique_ptr<UnitLineDriver> driver;
  sim::ProgramLoadFeature* program = nullptr;
  sim::MapLoadFeature* map = nullptr;
  sim::ConfigurationExchange* configuration = nullptr;
  int baud = 9600;
};

}  // namespace rv4410::test
