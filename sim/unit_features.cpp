#include "sim/unit_features.h"

#include "sim/babble.h"

namespace rv4410::sim {

void AddUnitFeatures(UnitModel& unit, const SimOptions& options) {
  // The attention handshake is part of the line itself; command families join here.
  if (options.babble != Babble::kNone) unit.Make<BabbleFeature>(options.babble);
}

void FinishUnitFeatures(UnitModel& /*unit*/, const SimOptions& /*options*/) {}

}  // namespace rv4410::sim
