#pragma once
// The simulated unit on an in-memory line, for tests in virtual time: plugs a
// UnitModel into the VirtualHost's serial device. A unit that hangs up takes
// the device with it: the open port closes and the port name is gone.

#include "platform/virtual_host.h"
#include "sim/unit_model.h"

namespace rv4410::sim {

class InMemoryLine : public VirtualPeer {
 public:
  InMemoryLine(VirtualHost& host, UnitModel& unit);
  ~InMemoryLine() override;
  InMemoryLine(const InMemoryLine&) = delete;
  InMemoryLine& operator=(const InMemoryLine&) = delete;

  void ReceiveByte(std::uint8_t byte, int baud, std::int64_t atUs) override;
  void ReceiveBreak(std::int64_t fromUs, std::int64_t toUs) override;
  void AdvanceTo(std::int64_t nowUs) override;
  std::int64_t NextEventUs() const override;
  bool TakeByte(std::int64_t untilUs, int loaderBaud, std::uint8_t& byte) override;

 private:
  void CheckHangUp();

  VirtualHost& host_;
  UnitModel& unit_;
  bool hungUp_ = false;
};

}  // namespace rv4410::sim
