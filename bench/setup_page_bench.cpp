// bench_setup_page: the setup page (offscreen) with a 16 MiB program file:
// from "&Next >" to the page ending with Next, the file read and checked and
// the port (rv4410-sim on a pseudo-terminal) opened and closed again.
// Prints the figure with its target; exits 1 when it is missed.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>

#include "bench_measure.h"
#include "platform/qt_host.h"
#include "support/image_builders.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "wizard/qt/setup_dialog.h"
#include "wizard/setup_page.h"

namespace rv4410::bench {
namespace {

constexpr double kMaxNextMs = 500.0;

void NextWithABigProgram(Report& report) {
  test::TempDir dir;
  test::SimProcess sim;
  if (!sim.Started()) std::exit(2);
  sim.BindTo("COM1");
  const std::string program = dir.File("RV4410_big.hex");
  test::WriteFile(program,
                  test::HexText(test::BuildProgramImage({.length = 16u << 20, .seed = 2})));

  QtHost host;
  RunState run(host, dir.File("Loader.LOG"));
  DataFiles files;
  SetupDialog dialog(run, files);
  double nextMs = -1;
  QTimer::singleShot(300, &dialog, [&] {
    dialog.findChild<QLineEdit*>(QStringLiteral("edit1009"))
        ->setText(QString::fromStdString(program));
    dialog.findChild<QLineEdit*>(QStringLiteral("edit1011"))
        ->setText(QString::fromStdString(dir.File("param.dat")));
    Clock::time_point start = Clock::now();
    dialog.findChild<QPushButton*>(QStringLiteral("button1001"))->click();
    nextMs = MsSince(start);
  });
  int result = DoSetup(run, dialog);
  std::printf("\"&Next >\" on the setup page with a 16 MiB program file (%lld bytes of hex):\n",
              static_cast<long long>(test::ReadFile(program).size()));
  report.Figure("from the click to the page ending with Next", nextMs, "ms", "<=", kMaxNextMs,
                result == kSetupNextButton && nextMs >= 0 && nextMs <= kMaxNextMs);
}

}  // namespace
}  // namespace rv4410::bench

int main(int argc, char** argv) {
  using namespace rv4410::bench;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  Report report;
  NextWithABigProgram(report);
  std::printf(report.Failed() ? "bench_setup_page: a target was MISSED\n"
                              : "bench_setup_page: every target met\n");
  return report.Failed() ? 1 : 0;
}
