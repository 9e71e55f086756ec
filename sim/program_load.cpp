#include "sim/program_load.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace rv4410::sim {

ProgramLoadFeature::ProgramLoadFeature(const ProgramLoadKnobs& knobs, SpeedAndModesFeature& speeds)
    : DataLoad(knobs, speeds, 'P', 0, "program"), programOut_(knobs.programOut) {}

bool ProgramLoadFeature::OnCommand(UnitModel& unit, std::string_view line) {
  if (line == "BC" || line.substr(0, 3) == "BC ")
    return ByteCount(unit, line.substr(line.size() > 3 ? 3 : line.size()));
  if (line == "D") {
    StartRaw(unit);
    return true;
  }
  // In map load mode the probe and the flash write belong to the map.
  if (Speeds().LoadMode() == 'M') return false;
  return ProbeOrFlash(unit, line);
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
  Speeds().SetLoadMode('P');
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
  if (Knobs().hangUp.phase == HangUpPhase::kRawData && raw_.size() == (rawCount_ + 1) / 2) {
    unit.HangUp("raw data " + std::to_string(raw_.size()) + " of " + std::to_string(rawCount_));
    return;
  }
  if (raw_.size() < rawCount_) return;
  unit.Release();
  unit.Log().Note(unit.NowUs(), "raw-data", std::to_string(raw_.size()) + " bytes");
  Hold(std::move(raw_));
  raw_.clear();
  rawCount_ = 0;
  unit.Send("OK\r\n");
}

void ProgramLoadFeature::OnCaptureIdle(UnitModel& unit) {
  unit.Log().Note(unit.NowUs(), "raw-data-cut",
                  std::to_string(raw_.size()) + " of " + std::to_string(rawCount_) + " bytes");
  raw_.clear();
  rawCount_ = 0;
  unit.Send("ERROR data incomplete\r\n");
}

void ProgramLoadFeature::Committed(UnitModel& /*unit*/) {
  if (!programOut_.empty() && !SaveFile(programOut_, Flashed())) {
    std::fprintf(stderr, "rv4410-sim: cannot save the program to %s\n", programOut_.c_str());
  }
}

void ProgramLoadFeature::OnRestart(UnitModel& /*unit*/) {
  // What was received but not flashed is gone with the restart.
  Forget();
  raw_.clear();
  rawCount_ = 0;
}

}  // namespace rv4410::sim
