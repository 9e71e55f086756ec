#include "sim/flash_load.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "sim/configuration_exchange.h"

namespace rv4410::sim {

namespace {

constexpr std::uint32_t kErasedValue = 0xFFFFFFFFu;

}  // namespace

bool ParseHangUp(const std::string& text, HangUpKnobs& knobs) {
  if (text == "raw" || text == "flash" || text == "restart") {
    knobs.phase = text == "raw"     ? HangUpPhase::kRawData
                  : text == "flash" ? HangUpPhase::kFlash
                                    : HangUpPhase::kRestart;
    return true;
  }
  constexpr std::string_view kBlock = "block:";
  if (text.rfind(kBlock, 0) != 0) return false;
  const char* first = text.data() + kBlock.size();
  const char* last = text.data() + text.size();
  int block = 0;
  auto [end, error] = std::from_chars(first, last, block);
  if (error != std::errc() || end != last || first == last || block < 0) return false;
  knobs.phase = HangUpPhase::kBlock;
  knobs.block = block;
  return true;
}

bool ParseBlockFault(const std::string& text, BlockFault& fault) {
  if (text == "drop") {
    fault = BlockFault::kDrop;
  } else if (text == "garble") {
    fault = BlockFault::kGarble;
  } else if (text == "error") {
    fault = BlockFault::kErrorLine;
  } else {
    return false;
  }
  return true;
}

void BlockAnswers::Reset() {
  indices_.clear();
  attempts_.clear();
}

int BlockAnswers::Index(std::uint32_t address) {
  auto [it, added] = indices_.try_emplace(address, static_cast<int>(indices_.size()));
  if (added) attempts_.push_back(0);
  ++attempts_[static_cast<std::size_t>(it->second)];
  return it->second;
}

int BlockAnswers::Attempts(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= attempts_.size()) return 0;
  return attempts_[static_cast<std::size_t>(index)];
}

std::string BlockAnswers::Answer(int index) const {
  if (knobs_.neverAnswer) return {};
  bool faulty = index == knobs_.faultBlock && Attempts(index) <= knobs_.faultTimes;
  switch (faulty ? knobs_.fault : BlockFault::kNone) {
    case BlockFault::kNone:
      break;
    case BlockFault::kDrop:
      return {};
    case BlockFault::kGarble:
      return std::string{static_cast<char>(Garbled('O')), static_cast<char>(Garbled('K')), '\r',
                         '\n'};
    case BlockFault::kErrorLine:
      return "ERROR block rejected\r\n";
  }
  return "OK\r\n";
}

void FlashWrite::Start(UnitModel& unit, std::size_t bytes, std::function<void()> commit) {
  ++requests_;
  if (retries_ < flash_.retryTimes) {
    ++retries_;
    unit.Log().Note(unit.NowUs(), "flash-retry");
    unit.Send("Retry\r\n");
    return;
  }
  unit.Log().Note(unit.NowUs(), "flash-start", std::to_string(bytes) + " bytes");
  unit.SetBusy(true);
  unit.Send("Begin erase\r\n");
  if (hangUp_.phase == HangUpPhase::kFlash) {
    unit.At(unit.OutputDoneUs(), [&unit] { unit.HangUp("flash"); });
    return;
  }
  if (flash_.silent) {
    unit.At(unit.OutputDoneUs(), [&unit] { unit.Stall(); });
    return;
  }
  auto kib = static_cast<std::int64_t>((bytes + 1023) / 1024);
  std::int64_t writeUs = unit.NowUs() + flash_.eraseUs;
  std::int64_t endUs = writeUs + flash_.usPerKiB * kib;
  unit.At(writeUs, [this, &unit, endUs] {
    unit.Send("Begin write\r\n");
    BeginLines(unit, endUs);
  });
  unit.At(endUs, [this, &unit, commit = std::move(commit)] { Finish(unit, commit); });
}

void FlashWrite::BeginLines(UnitModel& unit, std::int64_t endUs) {
  if (flash_.beginEveryUs <= 0) return;
  std::int64_t nextUs = unit.NowUs() + flash_.beginEveryUs;
  if (nextUs >= endUs) return;
  unit.At(nextUs, [this, &unit, endUs] {
    unit.Send("Begin write\r\n");
    BeginLines(unit, endUs);
  });
}

void FlashWrite::Finish(UnitModel& unit, std::function<void()> commit) {
  unit.SetBusy(false);
  if (!flash_.failLine.empty()) {
    unit.Log().Note(unit.NowUs(), "flash-failed", Journal::Printable(flash_.failLine));
    unit.Send(flash_.failLine + "\r\n");
    return;
  }
  unit.Send("OK\r\n");
  // The restart waits for the answer to be on the line.
  unit.At(unit.OutputDoneUs(), [this, &unit, commit] {
    commit();
    if (flash_.forgetConfiguration) ForgetConfiguration(unit);
    if (hangUp_.phase == HangUpPhase::kRestart) {
      unit.HangUp("restart");
      return;
    }
    unit.Restart();
  });
}

DataLoad::DataLoad(const LoadKnobs& knobs, SpeedAndModesFeature& speeds, char mode,
                   std::size_t dataStart, std::string name)
    : load_(knobs),
      speeds_(speeds),
      mode_(mode),
      dataStart_(dataStart),
      name_(std::move(name)),
      answers_(load_.blocks),
      flash_(load_.flash, load_.hangUp) {
  speeds_.HandleFrames(
      kDataFrameType,
      [this](UnitModel& unit, const DecodedFrame& frame) { return DataBlock(unit, frame); }, mode);
}

void DataLoad::Sync() {
  if (speeds_.ControlBlocks() == controlBlocksSeen_) return;
  controlBlocksSeen_ = speeds_.ControlBlocks();
  if (speeds_.ControlBlockMode() != mode_) return;
  Hold(NewLoad(speeds_.ControlBlock()));
}

void DataLoad::Hold(std::vector<std::uint8_t> bytes) {
  // An older control block no longer starts a load.
  controlBlocksSeen_ = speeds_.ControlBlocks();
  received_ = std::move(bytes);
  hasLoad_ = true;
  answers_.Reset();
}

void DataLoad::Forget() {
  Sync();
  hasLoad_ = false;
  received_.clear();
}

std::string DataLoad::DataBlock(UnitModel& unit, const DecodedFrame& frame) {
  Sync();
  int index = answers_.Index(frame.address);
  if (load_.hangUp.phase == HangUpPhase::kBlock && index == load_.hangUp.block) {
    unit.HangUp(name_ + " block " + std::to_string(index));
    return {};
  }
  if (!hasLoad_) return "ERROR no control block\r\n";
  // Addresses 0 to 255 are the control block's.
  if (frame.address < kControlBlockSize) return "ERROR address\r\n";
  std::size_t offset = frame.address - dataStart_;
  std::size_t end = offset + frame.data.size();
  if (end > kFlashLimitBytes) return "ERROR address\r\n";
  if (received_.size() < end) received_.resize(end, 0);
  std::copy(frame.data.begin(), frame.data.end(),
            received_.begin() + static_cast<std::ptrdiff_t>(offset));
  return answers_.Answer(index);
}

bool DataLoad::ProbeOrFlash(UnitModel& unit, std::string_view line) {
  if (line != "W" && !line.empty()) return false;
  // While it writes flash the unit does not listen.
  if (unit.Busy()) return true;
  Sync();
  if (line.empty()) {
    if (!hasLoad_) return false;
    // The loader's probe after the data: the unit is listening.
    if (!load_.flash.deafToProbe) unit.Send("OK\r\n");
    return true;
  }
  if (!hasLoad_) {
    unit.Send("ERROR nothing to write\r\n");
    return true;
  }
  flash_.Start(unit, received_.size(), [this, &unit] { Commit(unit); });
  return true;
}

void DataLoad::Commit(UnitModel& unit) {
  flashed_ = received_;
  ++commits_;
  hasLoad_ = false;
  unit.Log().Note(unit.NowUs(), "flash-" + name_, std::to_string(flashed_.size()) + " bytes");
  Committed(unit);
}

void ForgetConfiguration(UnitModel& unit) {
  auto* configuration = unit.Find<ConfigurationExchange>();
  if (configuration == nullptr) return;
  std::vector<Parameter> parameters = configuration->Store().Parameters();
  for (Parameter& parameter : parameters) parameter.value = kErasedValue;
  configuration->Store().Replace(std::move(parameters));
  unit.Log().Note(unit.NowUs(), "forget-configuration");
}

}  // namespace rv4410::sim
