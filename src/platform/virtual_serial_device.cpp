#include "platform/virtual_serial_device.h"

#include <algorithm>

namespace rv4410 {

std::int64_t CharacterTimeUs(int baud) {
  if (baud <= 0) return 1'000'000;
  return (10'000'000 + baud - 1) / baud;
}

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

void VirtualSerialDevice::SetBaudRejected(int baud, bool rejected) {
  if (rejected) {
    rejectedBauds_.insert(baud);
  } else {
    rejectedBauds_.erase(baud);
  }
}

bool VirtualSerialDevice::Open(const std::string& portName, int baud) {
  if (open_ || heldElsewhere_ || !PortPresent(portName) || PortDenied(portName)) return false;
  if (rejectedBauds_.count(baud) != 0) return false;
  open_ = true;
  portName_ = portName;
  baud_ = baud;
  openedBauds_.push_back(baud);
  Purge();
  return true;
}

void VirtualSerialDevice::Close() {
  if (breakOn_) SetBreak(false);
  open_ = false;
  // Bytes still in the driver's output queue are lost with the handle.
  output_.clear();
  input_.clear();
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
  lineFreeUs_ = nowUs_;
  input_.clear();
}

void VirtualSerialDevice::AdvanceTo(std::int64_t nowUs) {
  // Events happen in time order: a byte reaching the unit, the unit's own
  // timers, and the bytes it sends back.
  for (;;) {
    std::int64_t nextOut = output_.empty() ? kNever : output_.front().arrivesUs;
    std::int64_t nextPeer = peer_ != nullptr ? peer_->NextEventUs() : kNever;
    std::int64_t next = std::min(nextOut, nextPeer);
    if (next > nowUs) break;
    nowUs_ = std::max(nowUs_, next);
    if (peer_ != nullptr) peer_->AdvanceTo(nowUs_);
    if (nextOut <= nextPeer && !output_.empty()) {
      InFlight sent = output_.front();
      output_.pop_front();
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

std::int64_t VirtualSerialDevice::NextEventUs() const {
  std::int64_t nextOut = output_.empty() ? kNever : output_.front().arrivesUs;
  std::int64_t nextPeer = peer_ != nullptr ? peer_->NextEventUs() : kNever;
  return std::min(nextOut, nextPeer);
}

}  // namespace rv4410
