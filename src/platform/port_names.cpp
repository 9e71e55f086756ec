#include "platform/port_names.h"

#include <algorithm>

namespace rv4410 {

std::vector<FoundPort> OrderFoundPorts(std::vector<FoundPort> ports) {
  std::stable_sort(ports.begin(), ports.end(), [](const FoundPort& a, const FoundPort& b) {
    if (a.usb != b.usb) return a.usb;
    return a.path < b.path;
  });
  return ports;
}

std::optional<int> PortNumber(const std::string& portName) {
  if (portName.size() != 4 || portName.compare(0, 3, "COM") != 0) return std::nullopt;
  char digit = portName[3];
  if (digit < '1' || digit > '0' + kPortNameCount) return std::nullopt;
  return digit - '0';
}

std::string ResolvePortPath(const std::string& portName, const char* environmentOverride,
                            const std::vector<FoundPort>& orderedPorts) {
  std::optional<int> number = PortNumber(portName);
  if (!number) return portName;  // a path or a platform name given directly
  if (environmentOverride != nullptr && environmentOverride[0] != '\0') return environmentOverride;
  std::size_t index = static_cast<std::size_t>(*number - 1);
  if (index < orderedPorts.size()) return orderedPorts[index].path;
  return {};
}

}  // namespace rv4410
