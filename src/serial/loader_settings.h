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

// File names are buffers of 256 characters: at most 255 and a terminator.
inline constexpr std::size_t kFileNameSize = 256;

struct LoaderSettings {
  std::string portName = "COM1";
  int baudRate = 9600;
  LoaderFunction function = kWriteProgram;
  std::string programFile = "program.hex";
  std::string mapFile = "map.bin";
  std::string configFile = "param.dat";
};

// A file name as the 256-character buffers hold it: cut to 255 characters.
std::string BoundedFileName(std::string name);

}  // namespace rv4410
