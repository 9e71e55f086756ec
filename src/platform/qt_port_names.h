#pragma once
// COM1..COM4 on this machine: the environment overrides and the serial devices found.

#include <string>
#include <vector>

#include "platform/port_names.h"

namespace rv4410 {

// The device path that `portName` reaches now; empty when it reaches none.
std::string ResolvePortName(const std::string& portName);

// The same with the devices found given (FindSerialPorts), for a caller that
// resolves several names at once.
std::string ResolvePortName(const std::string& portName, const std::vector<FoundPort>& found);

// The serial devices found, in the order in which they take COM1, COM2, ...
std::vector<FoundPort> FindSerialPorts();

}  // namespace rv4410
