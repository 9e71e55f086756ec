#include "platform/virtual_serial_device.h"

#include <algorithm>
#include <functional>

namespace rv4410 {

void VirtualSerialDevice::SetPortPresent(const std::string& portName, bool present) {
  if (present) {
    missingPorts_.erase(portName);
  } else {
    missingPorts_.insert(portName);
  }
}

void VirtualSerialDevice::SetPortDenied(const std::string& portName, bool denied) {
  if (denied) {
    deniedPorts_.insert(portName);
  } else {
    deniedPorts_.erase(portName);
  }
}

void VirtualSerialDevice::ReplaceDevice(const std::string& portName) {
  ++replacements_[portName];
  SetPortPresent(portName, true);
}

DeviceIdentity VirtualSerialDevice::IdentityAt(const std::string& portName) const {
  if (!PortPresent(portName)) return {};
  auto replaced = replacements_.find(portName);
  return {std::hash<std::string>{}(portName) | 1,
          replaced == replacements_.end() ? 1 : replaced->second + 1};
}

void VirtualSerialDevice::SetBaudRejected(int baud, bool rejected) {
  if (rejected) {
    rejectedBauds_.insert(baud);
  } else {
    rejectedBauds_.erase(baud);
  }
}

bool VirtualSerialDevice::Open(const std::string& portName, int baud) {
  Close();
  if (heldElsewhere_ || !PortPresent(portName) || PortDenied(portName)) return false;
  if (rejectedBauds_.count(baud) != 0) return false;
  open_ = true;
  portName_ = portName;
  identity_ = IdentityAt(portName);
  baud_ = baud;
  openedBauds_.push_back(baud);
  SwitchLineSpeed(baud);
  Purge();
  return true;
}

void VirtualSerialDevice::Close() {
  if (breakOn_) SetBreak(false);
  if (!open_) return;
  open_ = false;
  // A driver's close lets its output queue drain, and no purge of a later
  // handle takes it back; but the port is handed back at its resting speed.
  draining_.insert(draining_.end(), output_.begin(), output_.end());
  output_.clear();
  input_.clear();
  SwitchLineSpeed(restingBaud_);
}

void VirtualSerialDevice::SwitchLineSpeed(int baud) {
  if (baud == lineBaud_) return;
  lineBaud_ = baud;
  for (std::deque<InFlight>* queue : {&draining_, &output_}) {
    for (InFlight& sent : *queue) sent.baud = kGarbledOnTheWay;
  }
}

std::size_t VirtualSerialDevice::Write(const std::uint8_t* data, std::size_t count) {
  if (!open_) return 0;
  std::size_t taken = 0;
  while (taken < count && output_.size() < kDriverQueueSize) {
    lineFreeUs_ = std::max(lineFreeUs_, nowUs_) + CharacterTimeUs(baud_);
    output_.push_back({data[taken], baud_, lineFreeUs_});
    ++taken;
  }
  return taken;
}

void VirtualSerialDevice::HoldOutput(bool held) {
  if (held == outputHeld_) return;
  outputHeld_ = held;
  if (held) return;
  lineFreeUs_ = nowUs_;
  for (InFlight& sent : output_) {
    lineFreeUs_ += CharacterTimeUs(sent.baud);
    sent.arrivesUs = lineFreeUs_;
  }
}

std::size_t VirtualSerialDevice::BytesWaiting() {
  return open_ ? input_.size() : 0;
}

std::size_t VirtualSerialDevice::Read(std::uint8_t* data, std::size_t count) {
  if (!open_) return 0;
  std::size_t taken = 0;
  while (taken < count && !input_.empty()) {
    data[taken++] = input_.front();
    input_.pop_front();
  }
  return taken;
}

void VirtualSerialDevice::SetBreak(bool on) {
  if (!open_ || on == breakOn_) return;
  breakOn_ = on;
  if (on) {
    breakFromUs_ = nowUs_;
    ++breakCount_;
  } else if (peer_ != nullptr) {
    peer_->ReceiveBreak(breakFromUs_, nowUs_);
  }
}

void VirtualSerialDevice::Purge() {
  output_.clear();
  // The line stays busy with a closed handle's bytes until they have left.
  lineFreeUs_ = draining_.empty() ? nowUs_ : std::max(nowUs_, draining_.back().arrivesUs);
  input_.clear();
}

void VirtualSerialDevice::AdvanceTo(std::int64_t nowUs) {
  // Events happen in time order: a byte reaching the unit, the unit's own
  // timers, and the bytes it sends back.
  for (;;) {
    std::deque<InFlight>& queue = NextOutputQueue();
    std::int64_t nextOut = NextOutputUs();
    std::int64_t nextPeer = peer_ != nullptr ? peer_->NextEventUs() : kNever;
    std::int64_t next = std::min(nextOut, nextPeer);
    if (next > nowUs) break;
    nowUs_ = std::max(nowUs_, next);
    if (peer_ != nullptr) peer_->AdvanceTo(nowUs_);
    if (nextOut <= nextPeer && nextOut != kNever) {
      InFlight sent = queue.front();
      queue.pop_front();
      if (peer_ != nullptr) peer_->ReceiveByte(sent.byte, sent.baud, sent.arrivesUs);
    }
    std::uint8_t byte = 0;
    while (peer_ != nullptr && peer_->TakeByte(nowUs_, baud_, byte)) {
      if (!open_) continue;  // nobody listening: the byte is lost
      if (input_.size() < kDriverQueueSize) {
        input_.push_back(byte);
      } else {
        ++droppedInput_;
      }
    }
  }
  nowUs_ = std::max(nowUs_, nowUs);
  if (peer_ != nullptr) peer_->AdvanceTo(nowUs_);
}

std::deque<VirtualSerialDevice::InFlight>& VirtualSerialDevice::NextOutputQueue() {
  // A closed handle's bytes left before anything written after it.
  return draining_.empty() ? output_ : draining_;
}

std::int64_t VirtualSerialDevice::NextOutputUs() const {
  const std::deque<InFlight>& queue = draining_.empty() ? output_ : draining_;
  return queue.empty() || outputHeld_ ? kNever : queue.front().arrivesUs;
}

std::int64_t VirtualSerialDevice::NextEventUs() const {
  std::int64_t nextOut = NextOutputUs();
  std::int64_t nextPeer = peer_ != nullptr ? peer_->NextEventUs() : kNever;
  return std::min(nextOut, nextPeer);
}

}  // namespace rv4410
