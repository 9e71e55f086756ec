#pragma once
// The host of the desktop program: Qt's event loop, a monotonic clock, Qt
// message boxes and the QSerialPort device.

#include <QEventLoop>
#include <QObject>
#include <memory>
#include <vector>

#include "platform/host.h"
#include "platform/port_names.h"
#include "platform/qt_serial_device.h"
#include "platform/qt_waits.h"

namespace rv4410 {

class QtHost : public Host {
 public:
  QtHost();
  ~QtHost() override;
  QtHost(const QtHost&) = delete;
  QtHost& operator=(const QtHost&) = delete;

  std::int64_t TickCount() override;
  void PumpMessages() override;
  void WaitForEvent(std::int64_t deadline) override;
  void WaitForUserEvent(std::int64_t deadline) override;
  BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override;
  void Beep() override;
  void SetCursor(CursorShape shape) override;
  std::time_t WallClock() override;
  bool ChooseFile(const FileChoiceRequest& request, std::string& path) override;
  PortDiagnosis DiagnosePort(const std::string& portName) override;
  SerialDevice& Serial() override { return device_; }

  QtSerialDevice& Device() { return device_; }
  // How many times WaitForEvent has slept and woken; a test compares it with
  // the time waited to see that a wait sleeps rather than spins.
  std::int64_t Wakeups() const { return waits_.Wakeups(); }
  // Whether the program has been asked to quit (a quit request reached the
  // application) since this host was made; the page loop ends on it.
  bool QuitRequested() const { return quitRequested_; }

 private:
  class QuitWatcher;
  // Runs pending events for a wait of the logic; a quit request handled there
  // is posted again later, so that the outermost event loop still sees it and
  // ends the program.
  void RunEvents(QEventLoop::ProcessEventsFlags flags);
  // The serial devices found, walked again when older than a second.
  const std::vector<FoundPort>& FoundPorts();

  QtWaits waits_;
  QtSerialDevice device_;
  bool cursorOverridden_ = false;
  std::vector<FoundPort> foundPorts_;
  std::int64_t portsFoundAt_ = -1;
  std::unique_ptr<QuitWatcher> quitWatcher_;
  bool inWait_ = false;
  bool quitPending_ = false;  // handled during a wait, not yet posted again
  bool quitRequested_ = false;
};

}  // namespace rv4410
