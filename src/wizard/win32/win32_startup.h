#pragma once
// The loader program on Windows from start-up to shutdown.

#include "platform/win32_host.h"
#include "uploads/loader_state.h"

namespace rv4410 {

// Start-up in order: the serial scratch buffer, the common controls, the
// application icon, the log and its banner, the splash; then the page loop
// from the setup page until a page leaves or a quit request arrives. When the
// loop ends: the port closed, the log closed, the scratch buffer freed.
// Returns 0, the program's exit status.
int RunWizard(LoaderState& state, Win32Host& host);

}  // namespace rv4410
