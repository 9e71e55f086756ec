#include "sim/unit_features.h"

#include "sim/identification.h"
#include "sim/speed_and_modes.h"

namespace rv4410::sim {

void AddUnitFeatures(UnitModel& unit, const SimOptions& options) {
  // The attention handshake is part of the line itself; command families join here.
  unit.Make<IdentificationFeature>(options.identification);
  unit.Make<SpeedAndModesFeature>(options.speeds);
}

void FinishUnitFeatures(UnitModel& /*unit*/, const SimOptions& /*options*/) {}

}  // namespace rv4410::sim
