#include "wizard/qt/startup.h"

#include <QApplication>

#include "uploads/transfer_driver.h"
#include "wizard/page_loop.h"
#include "wizard/qt/app_icon.h"
#include "wizard/qt/quit_watch.h"
#include "wizard/qt/setup_dialog.h"
#include "wizard/qt/splash_window.h"
#include "wizard/qt/transfer_dialog.h"
#include "wizard/qt/waiting_dialog.h"
#include "wizard/setup_page.h"

namespace rv4410 {

namespace {

int RunWaitingPage(LoaderState& state) {
  // The map chosen on the setup page decides what the unit must offer.
  WaitingDialog dialog(state.run, RequirementOf(state.files.mapHeader));
  return DoWaiting(state.run, dialog);
}

int RunTransferPage(LoaderState& state) {
  TransferDialog dialog(state);
  return DoTransfer(state, dialog);
}

}  // namespace

SetupRunner SetupPageRunner(LoaderState& state) {
  return [&state] {
    state.savedConfiguration.BeginUnit();
    SetupDialog page(state.run, state.files);
    return DoSetup(state.run, page);
  };
}

int RunWizard(LoaderState& state, const SetupRunner& setup) {
  // Watches from the very start, so that no quit request slips past the loop.
  QuitWatch quit;
  StartRun(state.run, [] {
    // The pages take the icon as they open; the application's windows without
    // one of their own (message boxes) show it too.
    QApplication::setWindowIcon(AppIcon());
  });
  DoSplash(state.run.log, ProgramVersionInfo());

  PageRunners pages;
  pages.setup = setup;
  pages.waiting = [&state] { return RunWaitingPage(state); };
  pages.transfer = [&state] { return RunTransferPage(state); };
  pages.quitRequested = [&quit] { return quit.Requested(); };
  RunPageLoop(pages);

  ShutDownRun(state.run);
  return 0;
}

}  // namespace rv4410
