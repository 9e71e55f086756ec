#pragma once
// Loading a map: after "M" and the map control block (handled by
// SpeedAndModesFeature, address 0), 'D' frames from address 256 carry the map
// data (data offset = address - 256), each answered "OK"; the empty line (the
// loader's probe) is answered "OK", and "W" writes the map into flash
// ("Begin" lines, "OK") with its own flash time, after which the unit restarts.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/flash_load.h"
#include "sim/speed_and_modes.h"

namespace rv4410::sim {

inline FlashKnobs MapFlashKnobs() {
  FlashKnobs knobs;
  knobs.eraseUs = 1'000'000;
  knobs.usPerKiB = 1'000;
  return knobs;
}

struct MapLoadKnobs : LoadKnobs {
  MapLoadKnobs() { flash = MapFlashKnobs(); }
  // rv4410-sim: where the flashed map data and its control block go; empty: nowhere.
  std::string mapOut;
  std::string controlBlockOut;
};

class MapLoadFeature : public DataLoad {
 public:
  // Takes the data frames of map mode from `speeds`.
  MapLoadFeature(const MapLoadKnobs& knobs, SpeedAndModesFeature& speeds);

  bool OnCommand(UnitModel& unit, std::string_view line) override;
  void OnRestart(UnitModel& unit) override;

  // The control block of the map load under way, and of the last flashed map.
  const std::vector<std::uint8_t>& ReceivedControlBlock() const { return controlBlock_; }
  const std::vector<std::uint8_t>& FlashedControlBlock() const { return flashedControlBlock_; }

 private:
  std::vector<std::uint8_t> NewLoad(const std::vector<std::uint8_t>& controlBlock) override;
  void Committed(UnitModel& unit) override;
  void Save(const std::string& path, const std::vector<std::uint8_t>& bytes) const;

  std::string mapOut_;
  std::string controlBlockOut_;
  std::vector<std::uint8_t> controlBlock_;
  std::vector<std::uint8_t> flashedControlBlock_;
};

}  // namespace rv4410::sim
