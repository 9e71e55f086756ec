// bench_transfer_page: the transfer page (offscreen) runs Read Configuration
// through QSerialPort against rv4410-sim on a pseudo-terminal at 9600 baud,
// the unit pacing its lines at the line rate. Measured while it runs: the
// loader's CPU (% of one core) and how long user events posted to the page
// take to be handled. Exits 1 when a target is missed.

#include <sys/stat.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_measure.h"
#include "platform/qt_host.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "wizard/qt/transfer_dialog.h"

namespace rv4410::bench {
namespace {

constexpr double kMaxCpuPercent = 2.0;
constexpr double kMaxMedianLatencyMs = 10.0;
constexpr double kMaxLatencyMs = 50.0;

void ReadConfigurationOnThePage(Report& report, bool checked) {
  test::TempDir dir;
  std::vector<std::string> arguments;
  if (!checked) arguments.push_back("--no-checked-exchange");
  test::SimProcess sim(arguments);
  if (!sim.Started()) {
    std::fprintf(stderr, "bench_transfer_page: rv4410-sim did not start\n");
    std::exit(2);
  }
  sim.BindTo("COM1");
  QtHost host;
  LoaderState state(host, dir.File("Loader.LOG"));
  state.run.log.LogOpen();
  state.run.settings.configFile = dir.File("param.dat");
  state.run.settings.function = kReadConfiguration;
  TransferDialog dialog(state);

  double cpuBefore = 0;
  std::int64_t wakeupsBefore = 0;
  std::int64_t wakeups = 0;
  Clock::time_point start;
  double cpu = 0;
  double wallMs = 0;
  EventProbe* probe = nullptr;
  // The measurement spans the operation only: from the start timer to "Done".
  // The measurement spans the operation only: from the driver setting its
  // flag at the start timer to its clearing it at the end.
  auto* poll = new QTimer(&dialog);
  QObject::connect(poll, &QTimer::timeout, &dialog, [&] {
    if (probe == nullptr && state.OperationRunning) {
      cpuBefore = CpuSeconds(RUSAGE_SELF);
      wakeupsBefore = host.Wakeups();
      start = Clock::now();
      probe = new EventProbe(dialog);
    } else if (probe != nullptr && !state.OperationRunning && wallMs == 0) {
      wallMs = MsSince(start);
      cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;
      wakeups = host.Wakeups() - wakeupsBefore;
      probe->Stop();
      dialog.EndPage(0);
    }
  });
  poll->start(100);
  DoTransfer(state, dialog);
  std::vector<double> latencies = probe != nullptr ? probe->Latencies() : std::vector<double>{};
  delete probe;

  std::printf(
      "Read Configuration (%s exchange) at 9600 baud on the transfer page: %.0f ms, %zu "
      "events\n",
      checked ? "checked" : "plain", wallMs, latencies.size());
  double percent = wallMs > 0 ? 100.0 * cpu * 1000.0 / wallMs : 100.0;
  report.Figure("loader CPU, % of one core", percent, "%", "<=", kMaxCpuPercent,
                percent <= kMaxCpuPercent);
  report.Info("wakes of the loader's waits, per second", wallMs > 0 ? wakeups * 1000.0 / wallMs : 0,
              "/s");
  // Per byte of the list as saved: the same list before and after a change.
  struct stat saved {};
  double listBytes = stat(state.run.settings.configFile.c_str(), &saved) == 0
                         ? static_cast<double>(saved.st_size)
                         : 0;
  report.Info("wakes of the loader's waits, per byte of the list saved",
              listBytes > 0 ? static_cast<double>(wakeups) / listBytes : 0, "");
  double median = EventProbe::Median(latencies);
  double maximum = EventProbe::Maximum(latencies);
  report.Figure("event posted to the page: median until handled", median, "ms",
                "<=", kMaxMedianLatencyMs, !latencies.empty() && median <= kMaxMedianLatencyMs);
  report.Figure("event posted to the page: maximum until handled", maximum, "ms",
                "<=", kMaxLatencyMs, !latencies.empty() && maximum <= kMaxLatencyMs);
}

}  // namespace
}  // namespace rv4410::bench

int main(int argc, char** argv) {
  using namespace rv4410::bench;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  Report report;
  ReadConfigurationOnThePage(report, true);
  ReadConfigurationOnThePage(report, false);
  std::printf(report.Failed() ? "bench_transfer_page: a target was MISSED\n"
                              : "bench_transfer_page: every target met\n");
  return report.Failed() ? 1 : 0;
}
