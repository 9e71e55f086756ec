#include "sim/program_load.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace rv4410::sim {

ProgramLoadFeature::ProgramLoadFeature(ProgramLoadKnobs knobs, SpeedAndModesFeature& speeds)
    : knobs_(std::move(knobs)),
      speeds_(speeds),
      answers_(knobs_.blocks),
      flash_(knobs_.flash, knobs_.hangUp) {
  speeds_.HandleFrames(
      kDataFrameType,
      [this](UnitModel& unit, const DecodedFrame& frame) { return DataBlock(unit, frame); }, 'P');
}

void ProgramLoadFeature::Sync() {
  if (speeds_.ControlBlocks() == controlBlocksSeen_) return;
  controlBlocksSeen_ = speeds_.ControlBlocks();
  if (speeds_.ControlBlockMode() != 'P') return;
  received_ = speeds_.ControlBlock();
  hasLoad_ = true;
  answers_.Reset();
}

std::string ProgramLoadFeature::DataBlock(UnitModel& unit, const DecodedFrame& frame) {
  Sync();
  int index = answers_.Index(frame.address);
  if (knobs_.hangUp.phase == HangUpPhase::kBlock && index == knobs_.hangUp.block) {
    unit.HangUp("program block " + std::to_string(index));
    return {};
  }
  std::size_t end = static_cast<std::size_t>(frame.address) + frame.data.size();
  if (!hasLoad_) return "ERROR no control block\r\n";
  if (frame.address < kControlBlockSize || end > kFlashLimitBytes) return "ERROR address\r\n";
  if (received_.size() < end) received_.resize(end, 0);
  std::copy(frame.data.begin(), frame.data.end(), received_.begin() + frame.address);
  return answers_.Answer(index);
}

bool ProgramLoadFeature::OnCommand(UnitModel& unit, std::string_view line) {
  if (line == "BC" || line.substr(0, 3) == "BC ")
    return ByteCount(unit, line.substr(line.size() > 3 ? 3 : line.size()));
  if (line == "D") {
    StartRaw(unit);
    return true;
  }
  Sync();
  // In map load mode the probe and the flash write belong to the map.
  if (speeds_.LoadMode() == 'M') return false;
  if (line.empty() && hasLoad_) {
    // The loader's probe after the data: the unit is listening.
    unit.Send("OK\r\n");
    return true;
  }
  if (line != "W") return false;
  if (!hasLoad_) {
    unit.Send("ERROR nothing to write\r\n");
    return true;
  }
  flash_.Start(unit, received_.size(), [this, &unit] { Commit(unit); });
  return true;
}

bool ProgramLoadFeature::ByteCount(UnitModel& unit, std::string_view argument) {
  unsigned long count = 0;
  auto [end, error] =
      std::from_chars(argument.data(), argument.data() + argument.size(), count, 16);
  bool parsed = error == std::errc() && end == argument.data() + argument.size();
  if (!parsed || count == 0 || count > kFlashLimitBytes) {
    rawCount_ = 0;
    unit.Send("ERROR byte count\r\n");
    return true;
  }
  rawCount_ = count;
  speeds_.SetLoadMode('P');
  unit.Send("OK\r\n");
  return true;
}

void ProgramLoadFeature::StartRaw(UnitModel& unit) {
  if (rawCount_ == 0) {
    unit.Send("ERROR no byte count\r\n");
    return;
  }
  raw_.clear();
  raw_.reserve(rawCount_);
  // The line feed of "D\r\n" comes after the carriage return that ended the command.
  skipLineFeed_ = unit.LineEnd() == '\r';
  unit.Capture(this);
}

void ProgramLoadFeature::OnCapturedByte(UnitModel& unit, std::uint8_t byte) {
  bool lineFeed = skipLineFeed_ && byte == '\n';
  skipLineFeed_ = false;
  if (lineFeed) return;
  raw_.push_back(byte);
  if (knobs_.hangUp.phase == HangUpPhase::kRawData && raw_.size() == (rawCount_ + 1) / 2) {
    unit.HangUp("raw data " + std::to_string(raw_.size()) + " of " + std::to_string(rawCount_));
    return;
  }
  if (raw_.size() < rawCount_) return;
  unit.Release();
  received_ = std::move(raw_);
  raw_.clear();
  hasLoad_ = true;
  rawCount_ = 0;
  unit.Log().Note(unit.NowUs(), "raw-data", std::to_string(received_.size()) + " bytes");
  unit.Send("OK\r\n");
}

void ProgramLoadFeature::OnCaptureIdle(UnitModel& unit) {
  unit.Log().Note(unit.NowUs(), "raw-data-cut",
                  std::to_string(raw_.size()) + " of " + std::to_string(rawCount_) + " bytes");
  raw_.clear();
  rawCount_ = 0;
  unit.Send("ERROR data incomplete\r\n");
}

void ProgramLoadFeature::Commit(UnitModel& unit) {
  flashed_ = received_;
  ++commits_;
  hasLoad_ = false;
  unit.Log().Note(unit.NowUs(), "flash-program", std::to_string(flashed_.size()) + " bytes");
  if (!knobs_.programOut.empty() && !SaveFile(knobs_.programOut, flashed_)) {
    std::fprintf(stderr, "rv4410-sim: cannot save the program to %s\n", knobs_.programOut.c_str());
  }
}

void ProgramLoadFeature::OnRestart(UnitModel& /*unit*/) {
  // What was received but not flashed is gone with the restart.
  Sync();
  hasLoad_ = false;
  received_.clear();
  raw_.clear();
  rawCount_ = 0;
}

}  // namespace rv4410::sim
