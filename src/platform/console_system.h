#pragma once
// What the command line's process needs of the system around its work: its
// arguments, the platform's host (the clock, the waits, the serial device
// and the port diagnosis; the console answers boxes and file choices
// itself), and whether standard error is a console that can redraw a line.

#include <memory>
#include <string>
#include <vector>

#include "platform/host.h"

namespace rv4410 {

class ConsoleSystem {
 public:
  // Sets up what the platform's waits need (Qt: the core application).
  ConsoleSystem(int& argc, char** argv);
  ~ConsoleSystem();
  ConsoleSystem(const ConsoleSystem&) = delete;
  ConsoleSystem& operator=(const ConsoleSystem&) = delete;

  // The arguments, the program's name first.
  const std::vector<std::string>& Arguments() const { return arguments_; }
  Host& PlatformHost();

 private:
  struct Parts;
  std::vector<std::string> arguments_;
  std::unique_ptr<Parts> parts_;
};

// Whether standard error is a console (a terminal), where one line can be
// drawn again in place.
bool StandardErrorIsConsole();

}  // namespace rv4410
