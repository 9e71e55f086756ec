#pragma once
// INTERIM, replaced at merge by the setup page's DoSetup: a stand-in for the
// setup page so that the program runs its other pages until that page lands.
// It is not the setup page: it chooses no files and shows a plain question.

#include "uploads/loader_state.h"
#include "wizard/startup.h"

namespace rv4410 {

inline constexpr const char* kInterimSetupCaption = "Setup page not built in";
inline constexpr const char* kInterimSetupQuestion =
    "This build has no setup page yet.\n"
    "Go on to the waiting page and read the unit's\n"
    "configuration into param.dat?";

// Asks kInterimSetupQuestion: Yes selects Read Configuration and returns 1001,
// No returns 0.
SetupRunner InterimSetupRunner(LoaderState& state);

}  // namespace rv4410
