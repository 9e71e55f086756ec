#pragma once
// "RESET" restarts the unit: no answer, silence for the restart time, then
// the unit is back at its start speed in command mode with its parameters
// kept (see UnitModel::Restart).

#include "sim/unit_model.h"

namespace rv4410::sim {

class RestartFeature : public UnitFeature {
 public:
  bool OnCommand(UnitModel& unit, std::string_view line) override;
};

}  // namespace rv4410::sim
