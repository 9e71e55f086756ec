#include "sim/unit_features.h"

#include <cstdio>
#include <string>

#include "sim/babble.h"
#include "sim/configuration_exchange.h"
#include "sim/identification.h"
#include "sim/speed_and_modes.h"

namespace rv4410::sim {

void AddUnitFeatures(UnitModel& unit, const SimOptions& options) {
  // The attention handshake is part of the line itself; command families join here.
  unit.Make<IdentificationFeature>(options.identification);
  unit.Make<SpeedAndModesFeature>(options.speeds);
  auto& configuration = unit.Make<ConfigurationExchange>(options.configuration);
  std::string error;
  if (!options.configuration.paramsIn.empty() &&
      !configuration.Store().Load(options.configuration.paramsIn, error)) {
    std::fprintf(stderr, "rv4410-sim: %s; keeping the installed parameters\n", error.c_str());
  }
  if (options.babble != Babble::kNone) unit.Make<BabbleFeature>(options.babble);
}

void FinishUnitFeatures(UnitModel& unit, const SimOptions& options) {
  const std::string& paramsOut = options.configuration.paramsOut;
  if (auto* configuration = unit.Find<ConfigurationExchange>();
      configuration != nullptr && !paramsOut.empty() && !configuration->Store().Save(paramsOut)) {
    std::fprintf(stderr, "rv4410-sim: cannot save the parameters to %s\n", paramsOut.c_str());
  }
}

}  // namespace rv4410::sim
