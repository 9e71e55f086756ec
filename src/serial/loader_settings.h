#pragma once
// The run-wide settings. Nothing survives from one run to the next.

#include <string>

namespace rv4410 {

// The four functions, valued by the ids of their radio buttons on the setup page.
enum LoaderFunction : int {
  kWriteProgram = 1005,
  kReadConfiguration = 1006,
  kWriteConfiguration = 1007,
  kWriteMap = 1008,
};

// The file names are carried whole, however long: a name cut short would
// name another file. The setup page refuses one longer than a path may be.
struct LoaderSettings {
  std::string portName = "COM1";
  int baudRate = 9600;
  LoaderFunction function = kWriteProgram;
  std::string programFile = "program.hex";
  std::string mapFile = "map.bin";
  std::string configFile = "param.dat";
};

}  // namespace rv4410
