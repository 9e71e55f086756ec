#pragma once
// The event the console's stop sets, for a Win32 wait on handles alone (the
// child processes'); null while no StopRequest lives.

namespace rv4410 {

void* Win32StopEvent();

}  // namespace rv4410
