#include "sim/speed_and_modes.h"

#include <algorithm>
#include <charconv>
#include <fstream>

namespace rv4410::sim {

namespace {

constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kControlFrameType = 0x43;
constexpr std::size_t kControlBlockBytes = 256;
constexpr int kSpeeds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

bool SupportedSpeed(int baud) {
  for (int speed : kSpeeds) {
    if (speed == baud) return true;
  }
  return false;
}

}  // namespace

bool SpeedAndModesFeature::OnCommand(UnitModel& unit, std::string_view line) {
  if (line.substr(0, 3) == "BR ") return SpeedCommand(unit, line.substr(3));
  if (line != "P" && line != "M") return false;
  loadMode_ = line[0];
  if (!knobs_.ignoreLoadMode) unit.Send("OK\r\n");
  ArmQuietReturn(unit);
  return true;
}

bool SpeedAndModesFeature::SpeedCommand(UnitModel& unit, std::string_view argument) {
  int baud = 0;
  auto [end, error] = std::from_chars(argument.data(), argument.data() + argument.size(), baud);
  bool parsed = error == std::errc() && end == argument.data() + argument.size();
  if (knobs_.refuseSpeed || !parsed || !SupportedSpeed(baud)) {
    unit.Send("ERROR bad baud rate\r\n");
    return true;
  }
  // The answer is queued at the old speed and keeps it; what follows is at the new one.
  unit.Send("OK\r\n");
  unit.SetSpeed(baud);
  ArmQuietReturn(unit);
  return true;
}

bool SpeedAndModesFeature::OnCommandByte(UnitModel& unit, std::uint8_t byte) {
  if (byte != kDle) return false;
  decoder_.Start();
  discarding_ = false;
  unit.Capture(this);
  return true;
}

void SpeedAndModesFeature::OnCapturedByte(UnitModel& unit, std::uint8_t byte) {
  if (discarding_) return;
  bool complete = decoder_.Feed(byte);
  FrameDecoder::State state = decoder_.Current();
  bool pastHeader = state == FrameDecoder::State::kData || state == FrameDecoder::State::kDataCheck;
  if (pastHeader && !decoder_.Frame().headerCheckOk) {
    // The length cannot be trusted: take everything until the sender stops.
    discarding_ = true;
    return;
  }
  if (complete) FrameDone(unit);
}

void SpeedAndModesFeature::OnCaptureIdle(UnitModel& unit) {
  frames_.push_back(decoder_.Frame());
  unit.Send(discarding_ ? "ERROR header check\r\n" : "ERROR frame incomplete\r\n");
  discarding_ = false;
}

void SpeedAndModesFeature::FrameDone(UnitModel& unit) {
  unit.Release();
  const DecodedFrame& frame = decoder_.Frame();
  frames_.push_back(frame);
  unit.Send(FrameReply(unit, frame));
  ArmQuietReturn(unit, frame.type == kControlFrameType ? 0 : knobs_.dataQuietReturnUs);
}

std::string SpeedAndModesFeature::FrameReply(UnitModel& unit, const DecodedFrame& frame) {
  auto handler = frameHandlers_.find(HandlerKey(frame.type, loadMode_));
  if (handler == frameHandlers_.end()) handler = frameHandlers_.find(HandlerKey(frame.type, 0));
  if (frame.type != kControlFrameType && handler == frameHandlers_.end()) {
    return "ERROR frame type\r\n";
  }
  if (!frame.dataCheckOk) return "ERROR data check\r\n";
  if (frame.type != kControlFrameType) return handler->second(unit, frame);
  if (frame.data.size() != kControlBlockBytes || frame.address != 0) {
    return "ERROR control block\r\n";
  }
  controlBlock_ = frame.data;
  controlBlockMode_ = loadMode_;
  ++controlBlocks_;
  SaveControlBlock();
  return "OK\r\n";
}

void SpeedAndModesFeature::SaveControlBlock() const {
  if (knobs_.stateDir.empty()) return;
  std::ofstream out(knobs_.stateDir + "/control_block.bin", std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(controlBlock_.data()),
            static_cast<std::streamsize>(controlBlock_.size()));
}

void SpeedAndModesFeature::OnBreak(UnitModel& unit) {
  ++quietGeneration_;
  unit.SetSpeed(kHomeBaud);
}

void SpeedAndModesFeature::OnRestart(UnitModel& /*unit*/) {
  ++quietGeneration_;
  loadMode_ = 0;
  discarding_ = false;
}

void SpeedAndModesFeature::ArmQuietReturn(UnitModel& unit, std::int64_t afterUs) {
  if (knobs_.quietReturnUs <= 0 || unit.Speed() == kHomeBaud) return;
  std::uint64_t generation = ++quietGeneration_;
  commandsSeen_ = unit.Commands().size();
  attentionsSeen_ = unit.Attentions();
  unit.At(unit.NowUs() + std::max(knobs_.quietReturnUs, afterUs),
          [this, &unit, generation] { QuietCheck(unit, generation); });
}

void SpeedAndModesFeature::QuietCheck(UnitModel& unit, std::uint64_t generation) {
  if (generation != quietGeneration_) return;
  // Anything the unit understood, a frame on its way in, a reply on its way
  // out or work of its own (a flash write) shows the speed still works.
  bool busy = unit.Busy() || unit.Commands().size() != commandsSeen_ ||
              unit.Attentions() != attentionsSeen_ || unit.Captured() ||
              unit.OutputDoneUs() > unit.NowUs();
  if (busy) {
    ArmQuietReturn(unit);
    return;
  }
  unit.SetSpeed(kHomeBaud);
}

}  // namespace rv4410::sim
