#include <atomic>

#include "platform/stop_request.h"
#include "platform/win32_stop_event.h"
#include "platform/windows_api.h"

namespace rv4410 {

namespace {

std::atomic<bool> g_arrived{false};
// The thread whose waits the stop wakes: a thread message ends its
// MsgWaitForMultipleObjects.
DWORD g_waitingThread = 0;
HANDLE g_event = nullptr;

// Runs on a thread of its own that the system starts for the console event.
BOOL WINAPI OnConsoleControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  g_arrived = true;
  if (g_event != nullptr) SetEvent(g_event);
  PostThreadMessageA(g_waitingThread, WM_NULL, 0, 0);
  return TRUE;
}

}  // namespace

bool StopRequestArrived() {
  return g_arrived;
}

void* Win32StopEvent() {
  return g_event;
}

StopRequest::StopRequest() {
  g_arrived = false;
  g_waitingThread = GetCurrentThreadId();
  g_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

StopRequest::~StopRequest() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  if (g_event != nullptr) CloseHandle(g_event);
  g_event = nullptr;
}

}  // namespace rv4410
