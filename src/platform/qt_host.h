#pragma once
// The host of the desktop program: Qt's event loop, a monotonic clock, Qt
// message boxes and the QSerialPort device.

#include <QElapsedTimer>

#include "platform/host.h"
#include "platform/qt_serial_device.h"

namespace rv4410 {

class QtHost : public Host {
 public:
  QtHost();

  std::int64_t TickCount() override;
  void PumpMessages() override;
  void WaitForEvent(std::int64_t deadline) override;
  BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override;
  void Beep() override;
  void SetCursor(CursorShape shape) override;
  std::time_t WallClock() override;
  SerialDevice& Serial() override { return device_; }

  QtSerialDevice& Device() { return device_; }

 private:
  QElapsedTimer clock_;
  QtSerialDevice device_;
  bool cursorOverridden_ = false;
};

}  // namespace rv4410
