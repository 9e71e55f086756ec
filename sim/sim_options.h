#pragma once
// The rv4410-sim command line: one option per knob of the simulated unit.

#include <functional>
#include <string>
#include <vector>

#include "sim/babble.h"
#include "sim/unit_model.h"

namespace rv4410::sim {

struct SimOptions {
  LineKnobs line;
  Babble babble = Babble::kNone;
  bool help = false;
};

struct SimOption {
  const char* name;      // "--speed"
  const char* argument;  // "BAUD", or nullptr for a flag
  const char* help;
  // Applies the option; returns false when the argument is not acceptable.
  std::function<bool(SimOptions&, const std::string&)> apply;
};

const std::vector<SimOption>& SimOptionTable();
// Parses argv[1..]; on failure returns false with `error` saying why.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);
std::string SimHelpText();

}  // namespace rv4410::sim
