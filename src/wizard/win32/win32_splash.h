#pragma once
// The splash on Windows: the splash picture above the program's name and
// version and its notice, read from the program's own version resource. It
// ends after two seconds, on a mouse-button release, on Enter or on Escape;
// a close request on it posts a quit request to the whole program.

#include "activity_log/activity_log.h"
#include "wizard/splash_texts.h"

namespace rv4410 {

// Logs "... DoSplash()" and shows the splash until it ends.
void DoSplash(ActivityLog& log);

// Whether a quit request waits in the thread's message queue.
bool QuitPending();

}  // namespace rv4410
