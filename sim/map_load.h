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

struct MapLoadKnobs {
  BlockKnobs blocks;
  FlashKnobs flash = MapFlashKnobs();
  HangUpKnobs hangUp;
  // rv4410-sim: where the flashed map data and its control block go; empty: nowhere.
  std::string mapOut;
  std::string controlBlockOut;
};

class MapLoadFeature : public UnitFeature {
 public:
  // Takes the data frames of map mode from `speeds`.
  MapLoadFeature(MapLoadKnobs knobs, SpeedAndModesFeature& speeds);

  bool OnCommand(UnitModel& unit, std::string_view line) override;
  void OnRestart(UnitModel& unit) override;

  MapLoadKnobs& Knobs() { return knobs_; }
  // The map load under way: its control block and the data received so far.
  const std::vector<std::uint8_t>& ReceivedControlBlock() const { return controlBlock_; }
  const std::vector<std::uint8_t>& Received() const { return received_; }
  bool HasLoad() const { return hasLoad_; }
  // What the last successful flash write committed, and how many did.
  const std::vector<std::uint8_t>& Flashed() const { return flashed_; }
  const std::vector<std::uint8_t>& FlashedControlBlock() const { return flashedControlBlock_; }
  int FlashCommits() const { return commits_; }
  std::size_t Blocks() const { return answers_.Blocks(); }
  int Attempts(int index) const { return answers_.Attempts(index); }
  const FlashWrite& Flash() const { return flash_; }

 private:
  void Sync();
  std::string DataBlock(UnitModel& unit, const DecodedFrame& frame);
  void Commit(UnitModel& unit);
  void Save(const std::string& path, const std::vector<std::uint8_t>& bytes) const;

  MapLoadKnobs knobs_;
  SpeedAndModesFeature& speeds_;
  BlockAnswers answers_;
  FlashWrite flash_;
  int controlBlocksSeen_ = 0;
  bool hasLoad_ = false;
  std::vector<std::uint8_t> controlBlock_;
  std::vector<std::uint8_t> received_;
  std::vector<std::uint8_t> flashed_;
  std::vector<std::uint8_t> flashedControlBlock_;
  int commits_ = 0;
};

}  // namespace rv4410::sim
