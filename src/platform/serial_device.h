#pragma once
// The serial device as the host offers it: one port, opened by its user-facing
// name ("COM1" .. "COM4"), 8 data bits, no parity, one stop bit.

#include <cstddef>
#include <cstdint>
#include <string>

namespace rv4410 {

// Driver queue sizes requested at every open, in each direction.
inline constexpr std::size_t kDriverQueueSize = 8192;

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Opens the device named `portName` for exclusive use at `baud`, 8N1, with
  // queues of kDriverQueueSize bytes, and discards whatever was queued before.
  // False (and closed) when the device is missing, busy, or rejects the settings.
  virtual bool Open(const std::string& portName, int baud) = 0;
  virtual void Close() = 0;
  // False also after the device vanished (a hang-up closes it).
  virtual bool IsOpen() const = 0;

  // Queues up to `count` bytes for sending without blocking; returns how many
  // were taken (0 when the output queue is full or the port is closed).
  virtual std::size_t Write(const std::uint8_t* data, std::size_t count) = 0;
  // Clears any line error and returns the number of received bytes waiting.
  virtual std::size_t BytesWaiting() = 0;
  // Takes up to `count` waiting bytes; never blocks.
  virtual std::size_t Read(std::uint8_t* data, std::size_t count) = 0;

  virtual void SetBreak(bool on) = 0;
  // Clears the line-error state and discards everything queued in both directions.
  virtual void Purge() = 0;
};

}  // namespace rv4410
