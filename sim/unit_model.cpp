#include "sim/unit_model.h"

#include <algorithm>

namespace rv4410::sim {

std::int64_t CharacterUs(int baud) {
  if (baud <= 0) return 1'000'000;
  return (10'000'000 + baud - 1) / baud;
}

std::uint8_t Garbled(std::uint8_t byte) {
  // The high bit set: no command letter, digit, line end, cancel or frame start.
  return static_cast<std::uint8_t>((byte ^ 0x5A) | 0x80);
}

UnitModel::UnitModel(LineKnobs knobs) : knobs_(knobs), speed_(knobs.speed) {}

UnitFeature& UnitModel::Add(std::unique_ptr<UnitFeature> feature) {
  features_.push_back(std::move(feature));
  return *features_.back();
}

void UnitModel::ReceiveByte(std::uint8_t byte, int senderBaud, std::int64_t atUs) {
  AdvanceTo(atUs);
  if (restarting_ || hungUp_) return;
  if (senderBaud != speed_ || !CableCarries(senderBaud)) {
    byte = Garbled(byte);
    ++garbledBytes_;
  }
  if (capture_ != nullptr) {
    NoteCaptureActivity();
    capture_->OnCapturedByte(*this, byte);
    return;
  }
  CommandByte(byte);
}

void UnitModel::ReceiveBreak(std::int64_t /*fromUs*/, std::int64_t toUs) {
  AdvanceTo(toUs);
  if (restarting_ || hungUp_) return;
  ++breaks_;
  Release();
  line_.clear();
  lineOverflow_ = false;
  cans_ = 0;
  for (auto& feature : features_) feature->OnBreak(*this);
}

bool UnitModel::CableCarries(int baud) const {
  return knobs_.cableMaxBaud <= 0 || baud <= knobs_.cableMaxBaud;
}

void UnitModel::CommandByte(std::uint8_t byte) {
  if (byte == kCan) {
    line_.clear();
    lineOverflow_ = false;
    if (++cans_ == kCansForAttention) {
      cans_ = 0;
      ++attentions_;
      Send("OK\r\n");
      for (auto& feature : features_) feature->OnAttention(*this);
    }
    return;
  }
  cans_ = 0;
  for (auto& feature : features_) {
    if (feature->OnCommandByte(*this, byte)) return;
  }
  if (byte == '\r') {
    lineEnd_ = '\r';
    DispatchLine();
    return;
  }
  // A line feed after a carriage return, or before a command, carries nothing.
  if (byte == '\n' && line_.empty()) return;
  if (byte == '\n') {
    lineEnd_ = '\n';
    DispatchLine();
    return;
  }
  if (line_.size() >= kCommandLineLimit) {
    lineOverflow_ = true;
    return;
  }
  line_.push_back(static_cast<char>(byte));
}

void UnitModel::DispatchLine() {
  std::string line;
  line.swap(line_);
  bool overflow = lineOverflow_;
  lineOverflow_ = false;
  if (overflow) return;
  commands_.push_back(line);
  journal_.Note(nowUs_, "command", Journal::Printable(line));
  for (auto& feature : features_) {
    if (feature->OnCommand(*this, line)) return;
  }
  // An unknown command gets no answer: the loader's timeouts handle it.
}

void UnitModel::AdvanceTo(std::int64_t nowUs) {
  for (;;) {
    if (capture_ != nullptr && captureIdleAtUs_ <= nowUs) {
      nowUs_ = std::max(nowUs_, captureIdleAtUs_);
      CheckCaptureIdle();
      continue;
    }
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->atUs > nowUs) continue;
      if (due == timers_.end() || it->atUs < due->atUs ||
          (it->atUs == due->atUs && it->order < due->order)) {
        due = it;
      }
    }
    if (due == timers_.end()) break;
    nowUs_ = std::max(nowUs_, due->atUs);
    std::function<void()> action = std::move(due->action);
    timers_.erase(due);
    action();
  }
  nowUs_ = std::max(nowUs_, nowUs);
}

std::int64_t UnitModel::NextEventUs() const {
  std::int64_t next = output_.empty() ? kNeverUs : output_.front().leavesUs;
  if (capture_ != nullptr) next = std::min(next, captureIdleAtUs_);
  for (const Timer& timer : timers_) next = std::min(next, timer.atUs);
  return next;
}

bool UnitModel::TakeOutput(std::int64_t untilUs, int receiverBaud, std::uint8_t& byte) {
  if (output_.empty() || output_.front().leavesUs > untilUs) return false;
  Outgoing out = output_.front();
  output_.pop_front();
  bool clean = out.baud == receiverBaud && CableCarries(out.baud);
  byte = clean ? out.byte : Garbled(out.byte);
  return true;
}

void UnitModel::Send(std::string_view text) {
  SendAt(nowUs_ + knobs_.replyDelayUs, text);
}

void UnitModel::SendAt(std::int64_t atUs, std::string_view text) {
  if (knobs_.silent || restarting_ || hungUp_) return;
  std::int64_t leaves = std::max(atUs, outputFreeUs_);
  for (char c : text) {
    leaves += CharacterUs(speed_);
    output_.push_back({static_cast<std::uint8_t>(c), speed_, leaves});
  }
  outputFreeUs_ = leaves;
}

std::int64_t UnitModel::OutputDoneUs() const {
  return std::max(outputFreeUs_, nowUs_);
}

void UnitModel::At(std::int64_t atUs, std::function<void()> action) {
  timers_.push_back({atUs, timerOrder_++, std::move(action)});
}

void UnitModel::Restart() {
  ++restarts_;
  journal_.Note(nowUs_, "restart", std::to_string(knobs_.restartUs / 1000) + " ms");
  Stop();
  for (auto& feature : features_) feature->OnRestart(*this);
  At(nowUs_ + knobs_.restartUs, [this] {
    restarting_ = false;
    speed_ = knobs_.speed;
    journal_.Note(nowUs_, "ready", std::to_string(speed_) + " baud");
  });
}

void UnitModel::Stall() {
  journal_.Note(nowUs_, "stall");
  Stop();
}

void UnitModel::Stop() {
  restarting_ = true;
  busy_ = false;
  Release();
  line_.clear();
  lineOverflow_ = false;
  cans_ = 0;
  // Bytes not yet on the line are lost; so is every pending timer.
  while (!output_.empty() && output_.back().leavesUs - CharacterUs(output_.back().baud) >= nowUs_)
    output_.pop_back();
  outputFreeUs_ = output_.empty() ? nowUs_ : output_.back().leavesUs;
  timers_.clear();
}

void UnitModel::HangUp(std::string_view phase) {
  if (hungUp_) return;
  hungUp_ = true;
  journal_.Note(nowUs_, "hang-up", phase);
  output_.clear();
  timers_.clear();
  Release();
}

void UnitModel::Capture(UnitFeature* feature) {
  capture_ = feature;
  line_.clear();
  NoteCaptureActivity();
}

void UnitModel::Release() {
  capture_ = nullptr;
  captureIdleAtUs_ = kNeverUs;
}

void UnitModel::NoteCaptureActivity() {
  // A capture ends when its sender falls silent, so that a frame cut short by a
  // garbled length does not hold the unit deaf for ever.
  if (capture_ != nullptr) captureIdleAtUs_ = nowUs_ + capture_->CaptureIdleUs();
}

void UnitModel::CheckCaptureIdle() {
  if (capture_ == nullptr || captureIdleAtUs_ > nowUs_) return;
  UnitFeature* feature = capture_;
  Release();
  feature->OnCaptureIdle(*this);
}

}  // namespace rv4410::sim
