#include "wizard/win32/win32_startup.h"

#include "platform/windows_api.h"
// The common controls need windows.h above them.
#include <commctrl.h>

#include "wizard/page_loop.h"
#include "wizard/win32/win32_dialog.h"
#include "wizard/win32/win32_setup_dialog.h"
#include "wizard/win32/win32_splash.h"
#include "wizard/win32/win32_transfer_dialog.h"
#include "wizard/win32/win32_waiting_dialog.h"

namespace rv4410 {

namespace {

// Every class of the common controls' basic set; the transfer page needs the
// progress bar.
constexpr DWORD kCommonControlClasses = 0xFF;

void InitCommonControlClasses() {
  INITCOMMONCONTROLSEX classes{};
  classes.dwSize = sizeof classes;
  classes.dwICC = kCommonControlClasses;
  InitCommonControlsEx(&classes);
}

}  // namespace

int RunWizard(LoaderState& state, Win32Host& host) {
  StartRun(state.run, [] {
    InitCommonControlClasses();
    AppIcon();
  });
  DoSplash(state.run.log);

  PageRunners pages;
  pages.setup = [&state] {
    // Every pass through the setup page begins a new unit: no configuration
    // saved from another unit is ever written back.
    state.savedConfiguration.BeginUnit();
    Win32SetupDialog page(state.run, state.files);
    return DoSetup(state.run, page);
  };
  pages.waiting = [&state] {
    Win32WaitingDialog page(state.run, RequirementOf(state.files.mapHeader));
    return DoWaiting(state.run, page);
  };
  pages.transfer = [&state] {
    Win32TransferDialog page(state);
    return DoTransfer(state, page);
  };
  pages.quitRequested = [&host] { return host.QuitRequested() || QuitPending(); };
  RunPageLoop(pages);

  ShutDownRun(state.run);
  return 0;
}

}  // namespace rv4410
