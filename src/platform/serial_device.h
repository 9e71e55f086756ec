#pragma once
// The serial device as the host offers it: one port, opened by its user-facing
// name ("COM1" .. "COM4"), 8 data bits, no parity, one stop bit.

#include <cstddef>
#include <cstdint>
#include <string>

namespace rv4410 {

// Driver queue sizes requested at every open, in each direction.
inline constexpr std::size_t kDriverQueueSize = 8192;

// Microseconds one character takes on the line at `baud` (start bit, 8 data
// bits, stop bit), rounded up.
constexpr std::int64_t CharacterTimeUs(int baud) {
  if (baud <= 0) return 1'000'000;
  return (10'000'000 + baud - 1) / baud;
}

// What tells one device from another that later appears at the same path (a
// USB adapter plugged in again, a link pointed elsewhere): the node's device
// number and its inode. All zero where the system cannot tell.
struct DeviceIdentity {
  std::uint64_t device = 0;
  std::uint64_t node = 0;
  friend bool operator==(const DeviceIdentity&, const DeviceIdentity&) = default;
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens the device named `portName` for exclusive use at `baud`, 8N1, with
  // queues of kDriverQueueSize bytes, and discards whatever was queued before.
  // False (and closed) when the device is missing, busy, held by another
  // program's lock (nothing of the line is touched then), or rejects the settings.
  // An open device is closed first, as Close does, so that afterwards it is
  // the device asked for at the speed asked for, or none.
  virtual bool Open(const std::string& portName, int baud) = 0;
  virtual void Close() = 0;
  // False also after the device vanished (a hang-up closes it).
  virtual bool IsOpen() const = 0;
  // Opens the device path the last Open reached again, at `baud`, as Open
  // does; the port name is not looked up again.
  virtual bool Reopen(int baud) = 0;
  // The device the last successful Open or Reopen reached, as it was then.
  virtual DeviceIdentity OpenedIdentity() const = 0;
  // The device now at the path the last Open reached, looked at without
  // opening it; all zero when none is there.
  virtual DeviceIdentity IdentityNow() const = 0;

  // Queues up to `count` bytes for sending without blocking; returns how many
  // were taken (0 when the output queue is full or the port is closed).
  virtual std::size_t Write(const std::uint8_t* data, std::size_t count) = 0;
  // Clears any line error and returns how many received bytes can be read at
  // once: 0 only when none has arrived, those the system holds and the device
  // has not fetched yet included (a device may count only one of the two).
  virtual std::size_t BytesWaiting() = 0;
  // Takes up to `count` waiting bytes (the system's included); never blocks.
  virtual std::size_t Read(std::uint8_t* data, std::size_t count) = 0;
  // Bytes taken by Write that have not yet left on the line, as far as the
  // device can tell; 0 when closed or when it cannot tell.
  virtual std::size_t UnsentBytes() = 0;

  virtual void SetBreak(bool on) = 0;
  // Clears the line-error state and discards everything queued in both directions.
  virtual void Purge() = 0;
};

}  // namespace rv4410
