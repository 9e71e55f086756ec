#pragma once
// The host of the Windows programs: GetTickCount64, the thread's message
// queue, MessageBoxA, GetOpenFileNameA and the Win32 serial device. A wait
// sleeps in MsgWaitForMultipleObjects on the serial device's pending read,
// its pending write and the message queue, until one of them or the deadline.

#include <cstdint>

#include "platform/host.h"
#include "platform/win32_serial_device.h"

namespace rv4410 {

class Win32Host : public Host {
 public:
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

  Win32SerialDevice& Device() { return device_; }
  // How many times a wait has slept and woken; a test compares it with the
  // time waited to see that a wait sleeps rather than spins.
  std::int64_t Wakeups() const { return wakeups_; }
  // Whether WM_QUIT has come through the message queue during a wait; the
  // front end's own message loop ends on it.
  bool QuitRequested() const { return quitRequested_; }

 private:
  void SleepUntil(std::int64_t deadline, bool withInput);
  void RunMessages();

  Win32SerialDevice device_;
  std::int64_t wakeups_ = 0;
  std::int64_t lastPumpUs_ = -1'000'000;
  bool quitRequested_ = false;
};

}  // namespace rv4410
