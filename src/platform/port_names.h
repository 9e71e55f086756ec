#pragma once
// The user still chooses "COM1" to "COM4". On Windows the name is the device.
// Elsewhere RV4410_COM1 .. RV4410_COM4 name a device path when set; otherwise
// COMn is the n-th serial device found, USB adapters first, then built-in ports.

#include <optional>
#include <string>
#include <vector>

namespace rv4410 {

inline constexpr int kPortNameCount = 4;

struct FoundPort {
  std::string path;  // e.g. "/dev/ttyUSB0"
  bool usb = false;  // USB adapter (has a USB vendor id, or a ttyUSB/ttyACM name)
};

// The order in which found devices take the names COM1, COM2, ...: USB adapters
// first, then built-in ports, each group sorted by path.
std::vector<FoundPort> OrderFoundPorts(std::vector<FoundPort> ports);

// The number n of "COMn" (1..4), or nothing for any other name.
std::optional<int> PortNumber(const std::string& portName);

// The device path that `portName` reaches, given the environment override (may
// be null or empty) and the ordered devices found; empty when it reaches none.
std::string ResolvePortPath(const std::string& portName, const char* environmentOverride,
                            const std::vector<FoundPort>& orderedPorts);

// One serial device as `rv4410 ports` lists it; empty fields are unknown.
struct ListedPort {
  std::string com;   // the COM name that reaches it ("COM1"); empty for none
  std::string path;  // what the serial device opens
  std::string description;
  std::string manufacturer;
  std::string vidPid;  // "0403:6001"
  std::string serialNumber;
};

// Every serial device found, with the COM name that reaches it, and the COM
// names set to devices not found (RV4410_COMn) as well.
std::vector<ListedPort> ListSerialPorts();

}  // namespace rv4410
