// bench_upload: uploads on the transfer page (offscreen) through QSerialPort
// against rv4410-sim on a pseudo-terminal at 115200 baud, the unit answering
// each block after 1 ms.
//   - block program upload and map upload of 1 MiB: payload bytes per second
//     in the data phase (first acknowledged block to the last), against the
//     line rate and against the protocol's own ceiling for those frames and
//     that turnaround; the loader's turnaround per block (the block's period
//     less its time on the line and the unit's turnaround), median and maximum;
//   - raw program upload of 1 MiB: bytes per second from "D" to the last byte,
//     in the unit's own journal;
//   - loader CPU during the data phase and the latency of events posted to the
//     page; peak memory above the image for a 16 MiB image (15 s of its upload).
// Prints each figure with its target; exits 1 when a target is missed.
// `--quick` (or RV4410_BENCH_QUICK=1) uses 128 KiB images and 5 s for memory.

#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "bench_measure.h"
#include "platform/qt_host.h"
#include "protocol/page_results.h"
#include "support/image_builders.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "uploads/upload_steps.h"
#include "wizard/qt/transfer_dialog.h"

namespace rv4410::bench {
namespace {

constexpr int kBaud = 115200;
constexpr double kLineBytesPerSecond = kBaud / 10.0;
constexpr double kUnitTurnaroundMs = 1.0;
constexpr double kMinBlockShare = 0.95;
constexpr double kMinRawShare = 0.98;
constexpr double kMaxCpuPercent = 2.0;
constexpr double kMaxMedianLatencyMs = 10.0;
constexpr double kMaxLatencyMs = 50.0;
constexpr double kMaxExtraMiB = 8.0;

// The transfer page with a stopwatch on its progress reports.
class TimedTransferDialog : public TransferDialog {
 public:
  using TransferDialog::TransferDialog;

  void SetStatusText(int field, std::string_view text) override {
    TransferDialog::SetStatusText(field, text);
    int done = 0;
    int total = 0;
    std::string line(text);
    if (field != kStatusField1032 ||
        std::sscanf(line.c_str(), "sent %d of %d", &done, &total) != 2) {
      return;
    }
    reports.push_back({Clock::now(), done});
    if (reports.size() == 1) {
      cpuAtFirst = CpuSeconds(RUSAGE_SELF);
      probe = std::make_unique<EventProbe>(*this);
    }
    if (done == total) {
      cpuAtLast = CpuSeconds(RUSAGE_SELF);
      probe->Stop();
    }
  }

  struct Report {
    Clock::time_point at;
    int done;
  };
  std::vector<Report> reports;
  double cpuAtFirst = 0;
  double cpuAtLast = 0;
  std::unique_ptr<EventProbe> probe;
};

struct Run {
  Run(std::vector<std::string> arguments) : state(host, dir.File("Loader.LOG")) {
    arguments.insert(arguments.end(),
                     {"--reply-delay-ms", "1", "--journal", dir.File("journal"),
                      "--program-erase-ms", "100", "--map-erase-ms", "100", "--restart-ms", "300"});
    sim = std::make_unique<test::SimProcess>(arguments);
    if (!sim->Started()) {
      std::fprintf(stderr, "bench_upload: rv4410-sim did not start\n");
      std::exit(2);
    }
    sim->BindTo("COM1");
    state.run.log.LogOpen();
    state.run.settings.configFile = dir.File("param.dat");
  }
  void Load(const test::Bytes& bytes) {
    LoadedImage& image = state.files.loadedImage;
    if (!image.Allocate(bytes.size())) std::exit(2);
    std::copy(bytes.begin(), bytes.end(), image.Data());
    image.length = static_cast<std::int64_t>(bytes.size());
  }
  // Runs the page until its operation ends (answering a question with No),
  // or until `stopAfterMs` of data phase have passed.
  void Transfer(LoaderFunction function, TimedTransferDialog& dialog, int stopAfterMs = 0) {
    state.run.settings.function = function;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        box->button(box->button(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok)->click();
        return;
      }
      bool stop = stopAfterMs > 0 && !dialog.reports.empty() &&
                  MsSince(dialog.reports.front().at) > stopAfterMs;
      bool finished = !dialog.reports.empty() && !state.OperationRunning;
      if ((stop || finished) && !dialog.Ended()) {
        TransferPageCommand(state, dialog, TransferCommand::kBack);
      }
    });
    watcher.start(20);
    DoTransfer(state, dialog);
    QCoreApplication::processEvents();
  }
  // The journal time (s) of the first event `event`, with exactly `detail`
  // when one is given.
  double JournalTime(const std::string& event, const std::string& detail = "") const {
    std::istringstream lines(test::ReadFile(dir.File("journal")));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream words(line);
      double at = 0;
      std::string name;
      std::string rest;
      words >> at >> name;
      std::getline(words, rest);
      if (name == event && (detail.empty() || rest == " " + detail)) return at;
    }
    return -1;
  }

  test::TempDir dir;
  QtHost host;
  LoaderState state;
  std::unique_ptr<test::SimProcess> sim;
};

// The time one block takes on the line in each direction, at the line rate.
double BlockLineMs(const std::uint8_t* data, std::size_t length) {
  std::size_t doubled = std::count(data, data + length, std::uint8_t{0x10});
  std::size_t frame = 12 + length + doubled + 4;
  return (static_cast<double>(frame) + 4.0) * 1000.0 / kLineBytesPerSecond;
}

void ReportDataPhase(Report& report, TimedTransferDialog& dialog, const test::Bytes& data,
                     std::size_t firstOffset) {
  const auto& reports = dialog.reports;
  if (reports.size() < 2) {
    report.Figure("data phase measured", 0, "", ">", 0, false);
    return;
  }
  double seconds = std::chrono::duration<double>(reports.back().at - reports.front().at).count();
  double payload = static_cast<double>(reports.back().done - reports.front().done);
  double rate = payload / seconds;
  // The protocol's own ceiling: each block's frame and "OK\r\n" on the line,
  // and the unit's turnaround, with nothing lost at the loader.
  double ceilingMs = 0;
  std::vector<double> turnarounds;
  for (std::size_t i = 1; i < reports.size(); ++i) {
    std::size_t from = firstOffset + static_cast<std::size_t>(reports[i - 1].done);
    std::size_t blockBytes = static_cast<std::size_t>(reports[i].done - reports[i - 1].done);
    double lineMs = 0;
    for (std::size_t at = from; at < from + blockBytes; at += kDataBlockLength) {
      std::size_t length = std::min<std::size_t>(kDataBlockLength, from + blockBytes - at);
      lineMs += BlockLineMs(data.data() + at, length) + kUnitTurnaroundMs;
    }
    ceilingMs += lineMs;
    if (blockBytes == kDataBlockLength) {
      double periodMs =
          std::chrono::duration<double, std::milli>(reports[i].at - reports[i - 1].at).count();
      turnarounds.push_back(periodMs - lineMs);
    }
  }
  double ceiling = payload / (ceilingMs / 1000.0);
  report.Figure("payload, % of the line rate", 100.0 * rate / kLineBytesPerSecond, "%",
                ">=", 100.0 * kMinBlockShare, rate >= kMinBlockShare * kLineBytesPerSecond);
  report.Info("payload, bytes per second", rate, "B/s");
  report.Info("protocol ceiling for these frames, % of the line rate",
              100.0 * ceiling / kLineBytesPerSecond, "%");
  report.Info("payload, % of the protocol ceiling", 100.0 * rate / ceiling, "%");
  report.Info("loader turnaround per block, median", EventProbe::Median(turnarounds), "ms");
  report.Info("loader turnaround per block, maximum", EventProbe::Maximum(turnarounds), "ms");
  double cpu = 100.0 * (dialog.cpuAtLast - dialog.cpuAtFirst) / seconds;
  report.Figure("loader CPU in the data phase, % of one core", cpu, "%", "<=", kMaxCpuPercent,
                cpu <= kMaxCpuPercent);
  std::vector<double> latencies = dialog.probe ? dialog.probe->Latencies() : std::vector<double>{};
  double median = EventProbe::Median(latencies);
  double maximum = EventProbe::Maximum(latencies);
  report.Figure("event posted to the page: median until handled", median, "ms",
                "<=", kMaxMedianLatencyMs, !latencies.empty() && median <= kMaxMedianLatencyMs);
  report.Figure("event posted to the page: maximum until handled", maximum, "ms",
                "<=", kMaxLatencyMs, !latencies.empty() && maximum <= kMaxLatencyMs);
}

void BlockProgramUpload(Report& report, std::size_t length) {
  Run run({});
  test::Bytes image = test::BuildProgramImage({.length = length, .seed = 9});
  run.Load(image);
  run.state.run.UnitInfoValid = true;
  TimedTransferDialog dialog(run.state);
  run.Transfer(kWriteProgram, dialog);
  std::printf("Block program upload of %zu bytes at %d baud:\n", length, kBaud);
  // Progress counts from offset 256; the first report follows the first block.
  ReportDataPhase(report, dialog, image, 256);
}

void MapUpload(Report& report, std::size_t length) {
  Run run({"--map-base", "0x20000"});
  test::Bytes data = test::PatternBytes(length, 13);
  run.Load(data);
  run.state.run.UnitInfoValid = true;
  TimedTransferDialog dialog(run.state);
  run.Transfer(kWriteMap, dialog);
  std::printf("Map upload of %zu bytes at %d baud:\n", length, kBaud);
  ReportDataPhase(report, dialog, data, 0);
}

void RawProgramUpload(Report& report, std::size_t length) {
  Run run({"--speed", std::to_string(kBaud), "--no-identification"});
  test::Bytes image = test::BuildProgramImage({.length = length, .seed = 10});
  run.Load(image);
  run.state.run.UnitInfoValid = false;
  run.state.run.settings.baudRate = kBaud;
  TimedTransferDialog dialog(run.state);
  run.Transfer(kWriteProgram, dialog);
  double start = run.JournalTime("command", "D");
  double end = run.JournalTime("raw-data");
  std::printf("Raw program upload of %zu bytes at %d baud:\n", length, kBaud);
  if (start < 0 || end < 0) {
    std::string log = test::ReadFile(run.dir.File("Loader.LOG"));
    std::printf("  the unit's data phase is not in its journal; the loader's log ends:\n%s\n",
                log.substr(log.size() > 1500 ? log.size() - 1500 : 0).c_str());
  }
  double rate = start >= 0 && end > start ? static_cast<double>(length) / (end - start) : 0;
  report.Figure("bytes per second from \"D\" to the last byte, % of the line rate",
                100.0 * rate / kLineBytesPerSecond, "%", ">=", 100.0 * kMinRawShare,
                rate >= kMinRawShare * kLineBytesPerSecond);
}

// The resident set now, from /proc/self/statm.
double RssMiB() {
  std::istringstream statm(test::ReadFile("/proc/self/statm"));
  double pages = 0;
  double resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

void PeakMemory(Report& report, int dataPhaseMs) {
  const std::size_t length = 16u << 20;
  test::Bytes image = test::BuildProgramImage({.length = length, .seed = 11});
  Run run({});
  // What the process holds before the image is loaded (the bench's own copy
  // of it included), and the most it holds while the upload runs.
  double before = RssMiB();
  double peak = before;
  run.Load(image);
  run.state.run.UnitInfoValid = true;
  TimedTransferDialog dialog(run.state);
  QTimer sampler;
  QObject::connect(&sampler, &QTimer::timeout, [&] { peak = std::max(peak, RssMiB()); });
  sampler.start(100);
  run.Transfer(kWriteProgram, dialog, dataPhaseMs);
  peak = std::max(peak, RssMiB());
  double extra = peak - before - static_cast<double>(length) / (1 << 20);
  std::printf("Block program upload of a 16 MiB image (%d s of its data phase):\n",
              dataPhaseMs / 1000);
  report.Figure("peak memory above the image", extra, "MiB", "<=", kMaxExtraMiB,
                extra <= kMaxExtraMiB);
}

}  // namespace
}  // namespace rv4410::bench

int main(int argc, char** argv) {
  using namespace rv4410::bench;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  bool shortRun = QuickRun(argc, argv);
  std::size_t length = shortRun ? 128u << 10 : 1u << 20;
  Report report;
  BlockProgramUpload(report, length);
  MapUpload(report, length);
  RawProgramUpload(report, length);
  PeakMemory(report, shortRun ? 5000 : 15000);
  std::printf(report.Failed() ? "bench_upload: a target was MISSED\n"
                              : "bench_upload: every target met\n");
  return report.Failed() ? 1 : 0;
}
