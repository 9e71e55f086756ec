#pragma once
// Every box the loader's logic shows goes through ShowBox, so that the log
// (Loader.LOG, and the log window while one is attached) holds each box and
// the answer it got, whichever front end showed it.

#include <string_view>

#include "platform/host.h"
#include "protocol/run_state.h"

namespace rv4410 {

// The line written after a box: the button the user pressed.
inline constexpr const char* kBoxAnswerFormat = "Answer: %s";

// Where the box's line goes beside the box: before it is shown or after;
// or nowhere, the caller having logged the same words just before.
enum class BoxLine { kBefore, kAfter, kLoggedAlready };

// Shows `box` and logs it: `line` (the box's text when empty) before or after
// the box as `order` says, then the answer. Returns the button pressed.
BoxAnswer ShowBox(RunState& run, const MessageBoxRequest& box, BoxLine order = BoxLine::kAfter,
                  std::string_view line = {});

}  // namespace rv4410
