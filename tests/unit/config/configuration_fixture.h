#pragma once
// A simulated unit with its configuration exchanges, the port open to it, and
// the configuration file in the test's folder.

#include <functional>
#include <string>
#include <vector>

#include "sim/configuration_exchange.h"
#include "support/virtual_unit_fixture.h"

namespace rv4410::test {

class ConfigurationTest : public VirtualUnitTest {
 protected:
  using Knobs = std::function<void(sim::ConfigurationKnobs&)>;
  // Starts the unit with its knobs set by `knobs` and opens the port to it.
  sim::ConfigurationExchange& StartConfiguredUnit(const Knobs& knobs = {});
  // A unit whose list is just these parameter lines.
  void SetUnitLines(const std::vector<std::string>& lines);
  // The unit's list, as parameter lines.
  std::vector<std::string> UnitLines() const;
  // The configuration file's text, and its lines (CR LF ends expected).
  std::string FileText() const { return ReadFile(configPath); }
  std::vector<std::string> FileLines() const;
  void WriteConfigFile(const std::string& text) const { WriteFile(configPath, text); }
  // How often the unit received exactly `line` as a command line.
  int Received(const std::string& line) const;
  // Occurrences of `text` in the log.
  int LogCount(const std::string& text) const;

  std::string configPath = dir.File("param.dat");
  sim::ConfigurationExchange* exchange = nullptr;
};

// Lines joined with CR LF after each, as a configuration file holds them.
std::string AsFile(const std::vector<std::string>& lines);
// The names in `folder`, sorted.
std::vector<std::string> FileNamesIn(const std::string& folder);

}  // namespace rv4410::test
