#include "platform/qt_port_names.h"

#include <QSerialPortInfo>
#include <cstdio>
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

namespace {

std::string Hex4(quint16 value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

}  // namespace

std::vector<ListedPort> ListSerialPorts() {
  std::vector<FoundPort> found = FindSerialPorts();
  const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
  std::vector<ListedPort> rows;
  for (const FoundPort& port : found) rows.push_back({"", port.path, "", "", "", ""});
  for (int n = 1; n <= kPortNameCount; ++n) {
    std::string name = "COM" + std::to_string(n);
    std::string path = ResolvePortName(name, found);
    if (path.empty()) continue;
    bool placed = false;
    for (ListedPort& row : rows) {
      if (row.path == path && row.com.empty()) {
        row.com = name;
        placed = true;
      }
    }
    if (!placed) rows.push_back({name, path, "", "", "", ""});
  }
  for (ListedPort& row : rows) {
    for (const QSerialPortInfo& info : infos) {
      if (info.systemLocation().toStdString() != row.path) continue;
      row.description = info.description().toStdString();
      row.manufacturer = info.manufacturer().toStdString();
      if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
        row.vidPid = Hex4(info.vendorIdentifier()) + ":" + Hex4(info.productIdentifier());
      }
      row.serialNumber = info.serialNumber().toStdString();
    }
  }
  return rows;
}

}  // namespace rv4410
