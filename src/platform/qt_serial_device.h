#pragma once
// The serial device over QSerialPort: native COM ports on Windows, termios with
// exclusive locking (TIOCEXCL, a lock file, and the device's flock, which
// other programs' flock keeps us from) elsewhere.

#include <QObject>
#include <QSerialPort>
#include <memory>

#include "platform/serial_device.h"

namespace rv4410 {

class QtSerialDevice : public QObject, public SerialDevice {
  Q_OBJECT
 public:
  QtSerialDevice();
  ~QtSerialDevice() override;

  bool Open(const std::string& portName, int baud) override;
  void Close() override;
  bool IsOpen() const override;
  bool Reopen(int baud) override;
  DeviceIdentity OpenedIdentity() const override { return identity_; }
  DeviceIdentity IdentityNow() const override;
  std::size_t Write(const std::uint8_t* data, std::size_t count) override;
  // Qt's buffer, or when that is empty the system's input queue (Linux).
  std::size_t BytesWaiting() override;
  std::size_t Read(std::uint8_t* data, std::size_t count) override;
  // What Qt still buffers and, on Linux, what the driver's output queue holds.
  std::size_t UnsentBytes() override;
  void SetBreak(bool on) override;
  void Purge() override;

  // While held, input gathers in the system without waking the event loop:
  // QSerialPort's read notifier is switched off, and on again at release.
  void HoldInputWakeups(bool hold);

  // The device path the last Open reached, for the log and the dialogs.
  const std::string& DevicePath() const { return devicePath_; }
  // How many errors QSerialPort has reported since construction; lets a test
  // see that a hang-up is reported a few times, not in a storm.
  int ErrorReports() const { return errorReports_; }

 private:
  void OnError(QSerialPort::SerialPortError error);
  // Asks the driver to pass short input on at once (Linux serial drivers).
  void SetLowLatency();
  // Received bytes the system holds that Qt has not fetched yet.
  std::size_t SystemInputQueued() const;
  // Takes the device's lock (flock) that terminal programs and other loaders
  // take, on a descriptor of our own, before QSerialPort touches the line;
  // false when another program holds it, or the device does not open.
  bool ClaimDevice();
  void ReleaseDevice();
  // Closes QSerialPort and gives the lock up.
  void CloseNow();
  // Opens devicePath_ at `baud`, as Open says.
  bool OpenPath(int baud);
#if defined(Q_OS_UNIX)
  // True when the other end of the line has gone (hang-up or device removed).
  bool LineHungUp() const;
#endif

  std::unique_ptr<QSerialPort> port_;
  std::string devicePath_;
  int claim_ = -1;  // our descriptor holding the device's lock while open
  DeviceIdentity identity_;
  int errorReports_ = 0;
};

}  // namespace rv4410
