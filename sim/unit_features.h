#pragma once
// The features a complete simulated unit has, as rv4410-sim builds it.

#include "sim/sim_options.h"
#include "sim/unit_model.h"

namespace rv4410::sim {

// Adds every command family to `unit`, set up from `options`.
void AddUnitFeatures(UnitModel& unit, const SimOptions& options);
// Saves what the options ask to keep (flash, parameters) when the unit stops.
void FinishUnitFeatures(UnitModel& unit, const SimOptions& options);

}  // namespace rv4410::sim
