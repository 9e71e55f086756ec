#include "sim/unit_features.h"

#include <cstdio>
#include <memory>
#include <string>

#include "sim/babble.h"
#include "sim/configuration_exchange.h"
#include "sim/identification.h"
#include "sim/map_load.h"
#include "sim/program_load.h"
#include "sim/restart.h"
#include "sim/speed_and_modes.h"

namespace rv4410::sim {

namespace {

// rv4410-sim keeps the parameter list on disk at every restart, so that what
// a configuration write left is there while the unit still runs.
class SaveParametersOnRestart : public UnitFeature {
 public:
  explicit SaveParametersOnRestart(std::string path) : path_(std::move(path)) {}
  void OnRestart(UnitModel& unit) override {
    auto* configuration = unit.Find<ConfigurationExchange>();
    if (configuration != nullptr && !configuration->Store().Save(path_)) {
      std::fprintf(stderr, "rv4410-sim: cannot save the parameters to %s\n", path_.c_str());
    }
  }

 private:
  std::string path_;
};

void OpenJournal(UnitModel& unit, const std::string& path) {
  std::shared_ptr<std::FILE> file(std::fopen(path.c_str(), "a"), [](std::FILE* f) {
    if (f != nullptr) std::fclose(f);
  });
  if (file == nullptr) {
    std::fprintf(stderr, "rv4410-sim: cannot open the journal %s\n", path.c_str());
    return;
  }
  unit.Log().SetSink([file](const std::string& line) {
    std::fprintf(file.get(), "%s\n", line.c_str());
    std::fflush(file.get());
  });
}

}  // namespace

void AddUnitFeatures(UnitModel& unit, const SimOptions& options) {
  // The attention handshake is part of the line itself; command families join here.
  unit.Make<IdentificationFeature>(options.identification);
  auto& speeds = unit.Make<SpeedAndModesFeature>(options.speeds);
  auto& configuration = unit.Make<ConfigurationExchange>(options.configuration);
  std::string error;
  if (!options.configuration.paramsIn.empty() &&
      !configuration.Store().Load(options.configuration.paramsIn, error)) {
    std::fprintf(stderr, "rv4410-sim: %s; keeping the installed parameters\n", error.c_str());
  }
  if (options.configuration.emptyList) configuration.Store().Replace({});
  if (options.configuration.serialNumber >= 0) {
    configuration.Store().Set("PTEST Sernum",
                              static_cast<std::uint32_t>(options.configuration.serialNumber));
  }
  unit.Make<RestartFeature>();
  // The map load goes first: in map load mode the probe and "W" are its own.
  unit.Make<MapLoadFeature>(options.map, speeds);
  unit.Make<ProgramLoadFeature>(options.program, speeds);
  if (options.babble != Babble::kNone) unit.Make<BabbleFeature>(options.babble);
  if (!options.configuration.paramsOut.empty()) {
    unit.Make<SaveParametersOnRestart>(options.configuration.paramsOut);
  }
  if (!options.journalPath.empty()) OpenJournal(unit, options.journalPath);
}

void FinishUnitFeatures(UnitModel& unit, const SimOptions& options) {
  const std::string& paramsOut = options.configuration.paramsOut;
  if (auto* configuration = unit.Find<ConfigurationExchange>();
      configuration != nullptr && !paramsOut.empty() && !configuration->Store().Save(paramsOut)) {
    std::fprintf(stderr, "rv4410-sim: cannot save the parameters to %s\n", paramsOut.c_str());
  }
}

}  // namespace rv4410::sim
