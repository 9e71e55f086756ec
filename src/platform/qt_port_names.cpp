#include "platform/qt_port_names.h"

#include <QSerialPortInfo>
#include <cstdlib>

namespace rv4410 {

std::vector<FoundPort> FindSerialPorts() {
  std::vector<FoundPort> found;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    QString name = info.portName();
    bool usb = info.hasVendorIdentifier() || name.startsWith(QLatin1String("ttyUSB")) ||
               name.startsWith(QLatin1String("ttyACM"));
    found.push_back({info.systemLocation().toStdString(), usb});
  }
  return OrderFoundPorts(std::move(found));
}

std::string ResolvePortName(const std::string& portName) {
#if defined(Q_OS_WIN)
  return portName;
#else
  if (!PortNumber(portName)) return portName;
  return ResolvePortName(portName, FindSerialPorts());
#endif
}

std::string ResolvePortName(const std::string& portName, const std::vector<FoundPort>& found) {
#if defined(Q_OS_WIN)
  (void)found;
  return portName;
#else
  std::optional<int> number = PortNumber(portName);
  if (!number) return portName;
  std::string variable = "RV4410_COM" + std::to_string(*number);
  return ResolvePortPath(portName, std::getenv(variable.c_str()), found);
#endif
}

}  // namespace rv4410
