// rv4410-loader.exe: the wizard on the Windows desktop.

#include "platform/win32_host.h"
#include "platform/windows_api.h"
#include "uploads/loader_state.h"
#include "wizard/win32/win32_startup.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  rv4410::Win32Host host;
  rv4410::LoaderState state(host);
  return rv4410::RunWizard(state, host);
}
