#include <unistd.h>

#include <QCoreApplication>

#include "platform/console_system.h"
#include "platform/qt_port_names.h"
#include "platform/qt_serial_device.h"
#include "platform/qt_waits.h"

namespace rv4410 {

namespace {

// The waits of the desktop host on Qt Core alone: no window, no boxes. The
// console answers every box and file choice before they would reach it.
class QtCoreHost : public Host {
 public:
  QtCoreHost()
      : waits_(
            [](QEventLoop::ProcessEventsFlags flags) { QCoreApplication::processEvents(flags); }) {}

  std::int64_t TickCount() override { return waits_.TickCount(); }
  void PumpMessages() override { waits_.PumpMessages(); }
  void WaitForEvent(std::int64_t deadline) override { waits_.WaitForEvent(deadline); }
  void WaitForUserEvent(std::int64_t deadline) override {
    // As the desktop host: input gathers in the system while this sleeps.
    device_.HoldInputWakeups(true);
    waits_.WaitForEvent(deadline);
    device_.HoldInputWakeups(false);
  }
  BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    return SafestAnswer(request.buttons);
  }
  void Beep() override {}
  void SetCursor(CursorShape) override {}
  std::time_t WallClock() override { return std::time(nullptr); }
  bool ChooseFile(const FileChoiceRequest&, std::string& path) override {
    path.clear();
    return false;
  }
  PortDiagnosis DiagnosePort(const std::string& portName) override {
    std::vector<FoundPort> found = FindSerialPorts();
    std::vector<std::string> known;
    for (const FoundPort& port : found) known.push_back(port.path);
    return DiagnoseDevice(ResolvePortName(portName, found), known, DefaultLockDirectories());
  }
  SerialDevice& Serial() override { return device_; }

 private:
  QtWaits waits_;
  QtSerialDevice device_;
};

}  // namespace

struct ConsoleSystem::Parts {
  Parts(int& argc, char** argv) : application(argc, argv) {}
  QCoreApplication application;
  QtCoreHost host;
};

ConsoleSystem::ConsoleSystem(int& argc, char** argv)
    : arguments_(argv, argv + argc), parts_(std::make_unique<Parts>(argc, argv)) {}

ConsoleSystem::~ConsoleSystem() = default;

Host& ConsoleSystem::PlatformHost() {
  return parts_->host;
}

bool StandardErrorIsConsole() {
  return isatty(STDERR_FILENO) == 1;
}

}  // namespace rv4410
