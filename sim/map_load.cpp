#include "sim/map_load.h"

#include <cstdio>

namespace rv4410::sim {

MapLoadFeature::MapLoadFeature(const MapLoadKnobs& knobs, SpeedAndModesFeature& speeds)
    : DataLoad(knobs, speeds, 'M', kControlBlockSize, "map"),
      mapOut_(knobs.mapOut),
      controlBlockOut_(knobs.controlBlockOut) {}

std::vector<std::uint8_t> MapLoadFeature::NewLoad(const std::vector<std::uint8_t>& controlBlock) {
  controlBlock_ = controlBlock;
  return {};
}

bool MapLoadFeature::OnCommand(UnitModel& unit, std::string_view line) {
  // Outside map load mode the probe and the flash write belong to the program.
  if (Speeds().LoadMode() != 'M') return false;
  return ProbeOrFlash(unit, line);
}

void MapLoadFeature::Committed(UnitModel& /*unit*/) {
  flashedControlBlock_ = controlBlock_;
  Save(mapOut_, Flashed());
  Save(controlBlockOut_, flashedControlBlock_);
}

void MapLoadFeature::Save(const std::string& path, const std::vector<std::uint8_t>& bytes) const {
  if (path.empty() || SaveFile(path, bytes)) return;
  std::fprintf(stderr, "rv4410-sim: cannot save the map to %s\n", path.c_str());
}

void MapLoadFeature::OnRestart(UnitModel& /*unit*/) {
  Forget();
}

}  // namespace rv4410::sim
