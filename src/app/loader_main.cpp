// rv4410-loader: the wizard on the desktop.

#include <QApplication>

#include "platform/qt_host.h"
#include "platform/system_calls.h"
#include "uploads/loader_state.h"
#include "wizard/qt/startup.h"

int main(int argc, char** argv) {
  rv4410::TreatFileSizeLimitAsWriteError();
  QApplication app(argc, argv);
  rv4410::QtHost host;
  rv4410::LoaderState state(host);
  return rv4410::RunWizard(state, rv4410::SetupPageRunner(state));
}
