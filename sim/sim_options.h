#pragma once
// The rv4410-sim command line: one option per knob of the simulated unit.

#include <functional>
#include <string>
#include <vector>

#include "sim/babble.h"
#include "sim/configuration_exchange.h"
#include "sim/identification.h"
#include "sim/map_load.h"
#include "sim/program_load.h"
#include "sim/sample_files.h"
#include "sim/speed_and_modes.h"
#include "sim/unit_model.h"

namespace rv4410::sim {

// How long the unit on a pseudo-terminal, which carries no break, stays at a
// new speed without a valid command before it falls back to 9600 baud.
inline constexpr std::int64_t kPtyQuietReturnUs = 1'000'000;
// The same after a data block: longer than the loader waits for a block's
// answer (2050 ms for a map block) before it sends the block again.
inline constexpr std::int64_t kPtyDataQuietReturnUs = 3'000'000;

inline SpeedKnobs PtySpeedKnobs() {
  SpeedKnobs knobs;
  knobs.quietReturnUs = kPtyQuietReturnUs;
  knobs.dataQuietReturnUs = kPtyDataQuietReturnUs;
  return knobs;
}

struct SimOptions {
  LineKnobs line;
  IdentificationKnobs identification;
  SpeedKnobs speeds = PtySpeedKnobs();
  ConfigurationKnobs configuration;
  Babble babble = Babble::kNone;
  ProgramLoadKnobs program;
  MapLoadKnobs map;
  std::string journalPath;  // every command, restart and flash commit, as it happens
  std::string samplesDir;   // write the sample files here and exit
  int sampleProgramKib =
      kSampleProgramKib;  // ...with a program of this many KiB after its control block
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
