#pragma once
// The uploads' fixture: a virtual host, a simulated unit with its
// configuration exchanges on an in-memory line, a fresh LoaderState whose
// files live in a temporary folder, and a virtual transfer page. A message
// box the test did not answer fails the test.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/virtual_host.h"
#include "sim/configuration_exchange.h"
#include "sim/in_memory_line.h"
#include "sim/unit_model.h"
#include "support/temp_dir.h"
#include "uploads/loader_state.h"
#include "virtual_transfer_page.h"

namespace rv4410::test {

class TransferTest : public ::testing::Test {
 protected:
  TransferTest();
  ~TransferTest() override;
  void TearDown() override;

  // Puts a unit with `knobs` on the line, with its configuration exchanges;
  // `first` may add features that see every command before those do.
  sim::UnitModel& StartUnit(sim::LineKnobs knobs = {}, sim::ConfigurationKnobs config = {},
                            const std::function<void(sim::UnitModel&)>& first = {});
  // Runs the selected function through DoTransfer and returns the page's result.
  int RunTransfer(LoaderFunction function);

  std::string LogText() const { return ReadFile(dir.File("Loader.LOG")); }
  int Count(const std::vector<std::string>& commands, const std::string& command) const;
  // The boxes shown, as their texts.
  std::vector<std::string> BoxTexts() const;

  TempDir dir;
  VirtualHost host;
  std::unique_ptr<sim::UnitModel> unit;
  std::unique_ptr<sim::InMemoryLine> line;
  sim::ConfigurationExchange* exchange = nullptr;
  LoaderState state;
  RunState& run = state.run;
  VirtualTransferPage page{host, state};
  std::string configPath = dir.File("param.dat");
};

}  // namespace rv4410::test
