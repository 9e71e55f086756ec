// bench_wizard: the loader program's start and its idle pages, in real time.
//   - from starting rv4410-loader to its splash on screen: the process until
//     it logs "... DoSplash()" (the log is flushed line by line), plus the
//     splash from that point to its first paint, measured in this process;
//   - CPU while the splash shows for its two seconds, and while the waiting
//     page looks for a silent unit (% of one core).
// Prints each figure with its target; exits 1 when a target is missed.
// `--quick` (or RV4410_BENCH_QUICK=1) shortens the measurements.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "activity_log/activity_log.h"
#include "bench_measure.h"
#include "platform/qt_host.h"
#include "protocol/run_state.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "wizard/qt/splash_window.h"
#include "wizard/qt/waiting_dialog.h"

extern char** environ;

namespace rv4410::bench {
namespace {

using test::ReadFile;
using test::SimProcess;
using test::TempDir;

constexpr double kMaxStartToSplashMs = 300.0;
constexpr double kMaxCpuPercent = 2.0;

bool failed = false;

void Report(const char* what, double value, const char* unit, double target) {
  bool met = value <= target;
  std::printf("  %-56s %9.2f %-3s (target <= %.0f %s) %s\n", what, value, unit, target, unit,
              met ? "ok" : "MISSED");
  if (!met) failed = true;
}

// Starts the loader in a fresh folder and returns the milliseconds until its
// log holds the splash's entry line; -1 when it never came.
double ProcessToSplashLine() {
  TempDir dir;
  std::string log = dir.File("Loader.LOG");
  std::string program = RV4410_LOADER_PATH;
  char* argv[] = {program.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.Path().c_str());
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  Clock::time_point start = Clock::now();
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) return -1;
  posix_spawn_file_actions_destroy(&actions);
  double ms = -1;
  while (MsSince(start) < 10'000) {
    if (ReadFile(log).find(kDoSplashLogLine) != std::string::npos) {
      ms = MsSince(start);
      break;
    }
    usleep(500);
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  return ms;
}

// Milliseconds from building the splash to its first paint.
double SplashToFirstPaint() {
  struct PaintWatch : QObject {
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) painted = true;
      return false;
    }
  } watch;
  Clock::time_point start = Clock::now();
  SplashWindow splash(ProgramVersionInfo());
  splash.installEventFilter(&watch);
  splash.show();
  while (!watch.painted && MsSince(start) < 5'000) {
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  double ms = MsSince(start);
  splash.hide();
  return ms;
}

void StartToSplash(int runs) {
  ProcessToSplashLine();  // warms the file cache, as a second start would find it
  std::vector<double> process;
  std::vector<double> show;
  for (int i = 0; i < runs; ++i) {
    process.push_back(ProcessToSplashLine());
    show.push_back(SplashToFirstPaint());
  }
  std::sort(process.begin(), process.end());
  std::sort(show.begin(), show.end());
  if (process.front() < 0) {
    std::printf("rv4410-loader did not log its splash\n");
    failed = true;
    return;
  }
  std::printf("start to splash shown (%d runs, offscreen):\n", runs);
  std::printf("  %-56s %9.2f ms (median %.2f)\n", "process start to \"... DoSplash()\", worst",
              process.back(), process[process.size() / 2]);
  std::printf("  %-56s %9.2f ms (median %.2f)\n", "splash built to first paint, worst", show.back(),
              show[show.size() / 2]);
  Report("start to splash shown, worst (sum of the two)", process.back() + show.back(), "ms",
         kMaxStartToSplashMs);
}

template <typename Run>
void MeasureCpu(const char* what, Run run) {
  double before = CpuSeconds(RUSAGE_SELF);
  Clock::time_point start = Clock::now();
  run();
  double wallMs = MsSince(start);
  double percent = 100.0 * (CpuSeconds(RUSAGE_SELF) - before) * 1000.0 / wallMs;
  std::printf("%s: %.0f ms of wall time\n", what, wallMs);
  Report("CPU, % of one core", percent, "%", kMaxCpuPercent);
}

void SplashCpu() {
  MeasureCpu("the splash for its two seconds", [] {
    SplashWindow splash(ProgramVersionInfo());
    splash.Run();
  });
}

void WaitingPageCpu(int ms) {
  SimProcess sim({"--silent"});
  if (!sim.Started()) {
    std::printf("rv4410-sim did not start\n");
    failed = true;
    return;
  }
  sim.BindTo("COM1");
  TempDir dir;
  QtHost host;
  RunState run(host, dir.File("Loader.LOG"));
  MeasureCpu("the waiting page looking for a silent unit", [&] {
    WaitingDialog page(run, {});
    QTimer::singleShot(ms, Qt::PreciseTimer, &page, [&page] {
      page.findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    });
    DoWaiting(run, page);
  });
}

}  // namespace
}  // namespace rv4410::bench

int main(int argc, char** argv) {
  using namespace rv4410::bench;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  bool short_ = QuickRun(argc, argv);

  StartToSplash(short_ ? 3 : 10);
  SplashCpu();
  WaitingPageCpu(short_ ? 2'000 : 5'000);
  std::printf(failed ? "bench_wizard: a target was MISSED\n" : "bench_wizard: every target met\n");
  return failed ? 1 : 0;
}
