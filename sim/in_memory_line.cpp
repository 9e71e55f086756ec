#include "sim/in_memory_line.h"

namespace rv4410::sim {

InMemoryLine::InMemoryLine(VirtualHost& host, UnitModel& unit) : host_(host), unit_(unit) {
  host_.Device().AttachPeer(this);
}

InMemoryLine::~InMemoryLine() {
  host_.Device().AttachPeer(nullptr);
}

void InMemoryLine::ReceiveByte(std::uint8_t byte, int baud, std::int64_t atUs) {
  unit_.ReceiveByte(byte, baud, atUs);
  CheckHangUp();
}

void InMemoryLine::ReceiveBreak(std::int64_t fromUs, std::int64_t toUs) {
  unit_.ReceiveBreak(fromUs, toUs);
  CheckHangUp();
}

void InMemoryLine::AdvanceTo(std::int64_t nowUs) {
  unit_.AdvanceTo(nowUs);
  CheckHangUp();
}

std::int64_t InMemoryLine::NextEventUs() const {
  return unit_.NextEventUs();
}

void InMemoryLine::CheckHangUp() {
  if (hungUp_ || !unit_.HungUp()) return;
  hungUp_ = true;
  VirtualSerialDevice& device = host_.Device();
  std::string name = device.PortName();
  device.Close();
  device.SetPortPresent(name, false);
}

bool InMemoryLine::TakeByte(std::int64_t untilUs, int loaderBaud, std::uint8_t& byte) {
  return unit_.TakeOutput(untilUs, loaderBaud, byte);
}

}  // namespace rv4410::sim
