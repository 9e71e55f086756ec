#include "sim/restart.h"

namespace rv4410::sim {

bool RestartFeature::OnCommand(UnitModel& unit, std::string_view line) {
  if (line != "RESET") return false;
  unit.Restart();
  return true;
}

}  // namespace rv4410::sim
