#pragma once
// The loader program from start-up to shutdown.

#include <functional>

#include "uploads/loader_state.h"

namespace rv4410 {

// Shows the setup page (after its default-file discovery) and returns its
// result: 0 leave, 1001 next.
using SetupRunner = std::function<int()>;

// The setup page of the program: every pass through it begins a new unit
// (no configuration saved from another unit is ever written back), then
// DoSetup proposes the default files and shows the page.
SetupRunner SetupPageRunner(LoaderState& state);

// Start-up in order: the serial scratch buffer, the application icon, the log
// and its banner, the splash; then the page loop from the setup page. When
// the loop ends: the port closed, the log closed, the scratch buffer freed.
// Returns 0, the program's exit status.
int RunWizard(LoaderState& state, const SetupRunner& setup);

}  // namespace rv4410
