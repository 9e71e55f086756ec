#include "sim/map_load.h"

#include <algorithm>
#include <cstdio>

namespace rv4410::sim {

MapLoadFeature::MapLoadFeature(MapLoadKnobs knobs, SpeedAndModesFeature& speeds)
    : knobs_(std::move(knobs)),
      speeds_(speeds),
      answers_(knobs_.blocks),
      flash_(knobs_.flash, knobs_.hangUp) {
  speeds_.HandleFrames(
      kDataFrameType,
      [this](UnitModel& unit, const DecodedFrame& frame) { return DataBlock(unit, frame); }, 'M');
}

void MapLoadFeature::Sync() {
  if (speeds_.ControlBlocks() == controlBlocksSeen_) return;
  controlBlocksSeen_ = speeds_.ControlBlocks();
  if (speeds_.ControlBlockMode() != 'M') return;
  controlBlock_ = speeds_.ControlBlock();
  received_.clear();
  hasLoad_ = true;
  answers_.Reset();
}

std::string MapLoadFeature::DataBlock(UnitModel& unit, const DecodedFrame& frame) {
  Sync();
  int index = answers_.Index(frame.address);
  if (knobs_.hangUp.phase == HangUpPhase::kBlock && index == knobs_.hangUp.block) {
    unit.HangUp("map block " + std::to_string(index));
    return {};
  }
  if (!hasLoad_) return "ERROR no control block\r\n";
  std::size_t end = static_cast<std::size_t>(frame.address) + frame.data.size();
  if (frame.address < kControlBlockSize || end > kControlBlockSize + kFlashLimitBytes) {
    return "ERROR address\r\n";
  }
  std::size_t offset = frame.address - kControlBlockSize;
  if (received_.size() < offset + frame.data.size())
    received_.resize(offset + frame.data.size(), 0);
  std::copy(frame.data.begin(), frame.data.end(),
            received_.begin() + static_cast<std::ptrdiff_t>(offset));
  return answers_.Answer(index);
}

bool MapLoadFeature::OnCommand(UnitModel& unit, std::string_view line) {
  if (line != "W" && !line.empty()) return false;
  Sync();
  if (speeds_.LoadMode() != 'M') return false;
  if (line.empty()) {
    if (!hasLoad_) return false;
    unit.Send("OK\r\n");
    return true;
  }
  if (!hasLoad_) {
    unit.Send("ERROR nothing to write\r\n");
    return true;
  }
  flash_.Start(unit, received_.size(), [this, &unit] { Commit(unit); });
  return true;
}

void MapLoadFeature::Commit(UnitModel& unit) {
  flashed_ = received_;
  flashedControlBlock_ = controlBlock_;
  ++commits_;
  hasLoad_ = false;
  unit.Log().Note(unit.NowUs(), "flash-map", std::to_string(flashed_.size()) + " bytes");
  Save(knobs_.mapOut, flashed_);
  Save(knobs_.controlBlockOut, flashedControlBlock_);
}

void MapLoadFeature::Save(const std::string& path, const std::vector<std::uint8_t>& bytes) const {
  if (path.empty() || SaveFile(path, bytes)) return;
  std::fprintf(stderr, "rv4410-sim: cannot save the map to %s\n", path.c_str());
}

void MapLoadFeature::OnRestart(UnitModel& /*unit*/) {
  Sync();
  hasLoad_ = false;
  received_.clear();
}

}  // namespace rv4410::sim
