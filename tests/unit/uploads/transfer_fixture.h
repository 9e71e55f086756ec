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
#include "sim/map_load.h"
#include "sim/program_load.h"
#include "sim/sim_options.h"
#include "sim/unit_model.h"
#include "support/temp_dir.h"
#include "uploads/loader_state.h"
#include "virtual_transfer_page.h"

namespace rv4410::test {

// While armed, swallows the empty line that ends a written list, so the unit
// never answers the list as a whole; with `wholeList`, every line of it, so
// the unit keeps none of them either.
class ListEndSwallower : public sim::UnitFeature {
 public:
  bool OnCommand(sim::UnitModel&, std::string_view line) override {
    if (line == "WX" || line == "WP") {
      writing_ = armed;
      return false;
    }
    if (writing_ && line.empty()) {
      writing_ = false;
      return true;
    }
    return writing_ && wholeList;
  }
  bool armed = true;
  bool wholeList = false;

 private:
  bool writing_ = false;
};

class TransferTest : public ::testing::Test {
 protected:
  TransferTest();
  ~TransferTest() override;
  void TearDown() override;

  // Puts a unit with `knobs` on the line, with its configuration exchanges;
  // `first` may add features that see every command before those do.
  sim::UnitModel& StartUnit(sim::LineKnobs knobs = {}, sim::ConfigurationKnobs config = {},
                            const std::function<void(sim::UnitModel&)>& first = {});
  // Puts a whole unit on the line, as rv4410-sim builds it from `options`
  // (its speed falls back to 9600 on a break, as on a real line).
  sim::UnitModel& StartWholeUnit(sim::SimOptions options = WholeUnitOptions(),
                                 const std::function<void(sim::UnitModel&)>& first = {});
  static sim::SimOptions WholeUnitOptions();
  // Puts `bytes` into the loaded-image slot, as the setup page leaves it.
  void LoadImage(const std::vector<std::uint8_t>& bytes);
  // The unit's parameter list, as lines.
  std::vector<std::string> UnitParameters() const;
  // Runs the selected function through DoTransfer and returns the page's result.
  int RunTransfer(LoaderFunction function);

  std::string LogText() const { return ReadLogFile(dir.File("Loader.LOG")); }
  int Count(const std::vector<std::string>& commands, const std::string& command) const;
  // The boxes shown, as their texts.
  std::vector<std::string> BoxTexts() const;

  TempDir dir;
  VirtualHost host;
  std::unique_ptr<sim::UnitModel> unit;
  std::unique_ptr<sim::InMemoryLine> line;
  sim::ConfigurationExchange* exchange = nullptr;
  sim::ProgramLoadFeature* program = nullptr;
  sim::MapLoadFeature* map = nullptr;
  LoaderState state;
  RunState& run = state.run;
  VirtualTransferPage page{host, state};
  std::string configPath = dir.File("param.dat");
};

}  // namespace rv4410::test
