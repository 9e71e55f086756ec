#pragma once
// The serial device over the Win32 comm functions. The port is opened for
// exclusive use (a COM port opens for one program at a time) and overlapped:
// when nothing has arrived, a read of one byte stays pending, so that the
// host's wait sleeps on its event until a byte arrives; written bytes queue
// here and go out by overlapped writes.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial_device.h"

namespace rv4410 {

class Win32SerialDevice : public SerialDevice {
 public:
  Win32SerialDevice();
  ~Win32SerialDevice() override;
  Win32SerialDevice(const Win32SerialDevice&) = delete;
  Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

  bool Open(const std::string& portName, int baud) override;
  // Lets queued bytes leave (FlushFileBuffers), then closes.
  void Close() override;
  bool IsOpen() const override { return handle_ != nullptr; }
  bool Reopen(int baud) override;
  DeviceIdentity OpenedIdentity() const override { return identity_; }
  // The device the port's name reaches now (QueryDosDevice's target), as a hash.
  DeviceIdentity IdentityNow() const override;
  std::size_t Write(const std::uint8_t* data, std::size_t count) override;
  std::size_t BytesWaiting() override;
  std::size_t Read(std::uint8_t* data, std::size_t count) override;
  std::size_t UnsentBytes() override;
  void SetBreak(bool on) override;
  void Purge() override;

  // Takes what finished reads and writes brought and starts the next ones;
  // closes the device when the line went away. The host calls it after
  // every wake.
  void Poll();
  // The events a wait sleeps on (HANDLEs): the pending read's, when
  // `withInput`, and the pending write's; none when closed.
  std::vector<void*> WakeEvents(bool withInput) const;

  // The Win32 error of the last failed open; 0 after a successful one.
  std::uint32_t LastOpenError() const { return lastOpenError_; }
  const std::string& DevicePath() const { return devicePath_; }

 private:
  struct Pending;  // an OVERLAPPED with its event and buffer
  bool OpenPath(int baud);
  bool Configure(int baud);
  void StartRead();
  // Bytes the driver holds and no read has taken yet; clears line errors.
  std::size_t DriverInput();
  // Lets a pending read take the byte the driver holds for it.
  void SettlePendingRead();
  void StartWrite();
  // Waits for the pending write (bounded by its line time) and the driver's
  // queue to empty.
  void DrainOutput();
  // Cancels what is pending and waits for the cancel to be taken.
  void CancelPending();
  void CloseNow();
  // The line went away (a USB adapter pulled, the other end closed).
  void LineGone();

  void* handle_ = nullptr;  // HANDLE; null when closed
  std::string devicePath_;
  std::string portName_;
  int baud_ = 0;
  DeviceIdentity identity_;
  std::uint32_t lastOpenError_ = 0;
  std::unique_ptr<Pending> read_;
  std::unique_ptr<Pending> write_;
  std::deque<std::uint8_t> input_;   // bytes read, not yet taken
  std::deque<std::uint8_t> output_;  // bytes taken by Write, not yet handed to a write
};

}  // namespace rv4410
