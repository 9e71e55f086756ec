#pragma once
// An in-memory serial device for tests, in virtual time. Bytes written leave at
// the line rate of the open speed and reach the far end (a VirtualPeer, such as
// the simulated unit) when their last bit has been sent; bytes from the far end
// wait in a bounded input queue. Nothing here sleeps: the virtual host moves the
// clock.

#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/serial_device.h"

namespace rv4410 {

inline constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
// The speed of a byte whose line changed speed under it on its way: no
// receiver reads it at any speed.
inline constexpr int kGarbledOnTheWay = 0;

// The far end of an in-memory line.
class VirtualPeer {
 public:
  virtual ~VirtualPeer() = default;
  // A byte that has fully arrived at `atUs`, sent by the loader at `baud`
  // (kGarbledOnTheWay: the speed changed under it).
  virtual void ReceiveByte(std::uint8_t byte, int baud, std::int64_t atUs) = 0;
  // The loader held the line in break from `fromUs` to `toUs`.
  virtual void ReceiveBreak(std::int64_t fromUs, std::int64_t toUs) = 0;
  // Lets the far end run up to `nowUs`.
  virtual void AdvanceTo(std::int64_t nowUs) = 0;
  // The next time the far end has something to do or a byte arriving; kNever when idle.
  virtual std::int64_t NextEventUs() const = 0;
  // The next byte from the far end that has fully arrived by `untilUs`, as a
  // receiver set to `loaderBaud` sees it (garbled when the speeds differ).
  virtual bool TakeByte(std::int64_t untilUs, int loaderBaud, std::uint8_t& byte) = 0;
};

class VirtualSerialDevice : public SerialDevice {
 public:
  VirtualSerialDevice() = default;

  void AttachPeer(VirtualPeer* peer) { peer_ = peer; }

  // Knobs: which names exist, and speeds at which the driver rejects the settings.
  void SetPortPresent(const std::string& portName, bool present);
  void SetBaudRejected(int baud, bool rejected);
  // Another program holds the port: every open fails as a busy device does.
  void SetHeldElsewhere(bool held) { heldElsewhere_ = held; }
  // Another device appears at this name (an adapter plugged in again), present.
  void ReplaceDevice(const std::string& portName);
  // The line holds output back (a flow-control pause, a stalled adapter):
  // nothing leaves while held; on release the queued bytes leave from then on.
  void HoldOutput(bool held);
  // The user may not open this name: its opens fail.
  void SetPortDenied(const std::string& portName, bool denied);
  // The speed the port stands at while no program holds it (9600 unless
  // set): a close hands it back at that speed, as QSerialPort restores the
  // settings it found.
  void SetRestingBaud(int baud) { restingBaud_ = baud; }

  bool PortPresent(const std::string& portName) const { return missingPorts_.count(portName) == 0; }
  bool PortDenied(const std::string& portName) const { return deniedPorts_.count(portName) != 0; }
  bool HeldElsewhere() const { return heldElsewhere_; }

  bool Open(const std::string& portName, int baud) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  bool Reopen(int baud) override { return Open(portName_, baud); }
  DeviceIdentity OpenedIdentity() const override { return identity_; }
  DeviceIdentity IdentityNow() const override { return IdentityAt(portName_); }
  std::size_t Write(const std::uint8_t* data, std::size_t count) override;
  std::size_t BytesWaiting() override;
  std::size_t Read(std::uint8_t* data, std::size_t count) override;
  // Exact: the bytes whose last bit has not yet reached the far end.
  std::size_t UnsentBytes() override { return open_ ? output_.size() : 0; }
  void SetBreak(bool on) override;
  void Purge() override;

  // Virtual time, driven by the VirtualHost.
  void AdvanceTo(std::int64_t nowUs);
  std::int64_t NextEventUs() const;

  // What a test may look at.
  int Baud() const { return baud_; }
  const std::string& PortName() const { return portName_; }
  const std::vector<int>& OpenedBauds() const { return openedBauds_; }
  int BreakCount() const { return breakCount_; }
  std::size_t DroppedInputBytes() const { return droppedInput_; }

 private:
  struct InFlight {
    std::uint8_t byte;
    int baud;
    std::int64_t arrivesUs;
  };

  std::int64_t NextOutputUs() const;
  // The device `portName` reaches now; all zero when it reaches none.
  DeviceIdentity IdentityAt(const std::string& portName) const;
  // The line now runs at `baud`: bytes still on their way, sent at the old
  // speed, arrive garbled, as from a UART whose speed changes under them.
  void SwitchLineSpeed(int baud);

  VirtualPeer* peer_ = nullptr;
  std::int64_t nowUs_ = 0;
  bool open_ = false;
  bool heldElsewhere_ = false;
  int baud_ = 9600;
  int restingBaud_ = 9600;
  int lineBaud_ = 9600;  // the speed the line runs at, open or not
  std::string portName_;
  std::set<std::string> missingPorts_;
  std::map<std::string, std::uint64_t> replacements_;  // devices that came since the first
  DeviceIdentity identity_;
  std::set<std::string> deniedPorts_;
  std::set<int> rejectedBauds_;
  std::deque<InFlight>& NextOutputQueue();

  std::deque<InFlight> output_;    // written, not yet at the far end
  std::deque<InFlight> draining_;  // written before a close, still leaving
  std::int64_t lineFreeUs_ = 0;    // when the last queued byte finishes leaving
  std::deque<std::uint8_t> input_;
  std::size_t droppedInput_ = 0;
  bool outputHeld_ = false;
  bool breakOn_ = false;
  std::int64_t breakFromUs_ = 0;
  int breakCount_ = 0;
  std::vector<int> openedBauds_;
};

}  // namespace rv4410
