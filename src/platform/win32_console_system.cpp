#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/console_system.h"
#include "platform/win32_host.h"
#include "platform/windows_api.h"

namespace rv4410 {

struct ConsoleSystem::Parts {
  Win32Host host;
};

ConsoleSystem::ConsoleSystem(int& argc, char** argv)
    : arguments_(argv, argv + argc), parts_(std::make_unique<Parts>()) {
  // The lines end in "\n" alone, as on Linux: scripts and the parent of
  // several units read the same bytes on both.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

ConsoleSystem::~ConsoleSystem() = default;

Host& ConsoleSystem::PlatformHost() {
  return parts_->host;
}

bool StandardErrorIsConsole() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace rv4410
