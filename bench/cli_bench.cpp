// bench_cli: rv4410 on the command line against rv4410-sim, in real time.
//   - write-program of a 256 KiB image at 115200 with the unit's turnaround at
//     1 ms: the data phase from the simulator's journal (from the "P" command
//     to the next command line), as a share of the line rate;
//   - three units at once against one: the wall time of the whole command;
//   - start to the first byte on the wire: rv4410 identify on a pseudo-
//     terminal this program holds, less the waiting page's own start delay.
// Prints each figure with its target; exits 1 when a target is missed.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/waiting_page.h"
#include "support/image_builders.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace rv4410::bench {
namespace {

using test::SimProcess;
using test::TempDir;

constexpr std::size_t kImageBytes = 256 + 256 * 1024;
constexpr double kLineBytesPerSecond = 115200.0 / 10.0;
constexpr double kMinLineShare = 0.95;
constexpr double kMaxThreeUnitsFactor = 1.1;
constexpr double kMaxFirstByteMs = 200.0;

double RunCli(const TempDir& dir, const QStringList& arguments) {
  QProcess process;
  process.setWorkingDirectory(QString::fromStdString(dir.Path()));
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QElapsedTimer clock;
  clock.start();
  process.start(RV4410_CLI_PATH, arguments);
  process.waitForFinished(600000);
  double ms = static_cast<double>(clock.elapsed());
  if (process.exitCode() != 0) {
    std::fprintf(stderr, "rv4410 exited %d\n", process.exitCode());
    std::exit(1);
  }
  return ms;
}

std::vector<std::string> SimArguments(const TempDir& dir, const std::string& tag) {
  return {"--speed",
          "115200",
          "--reply-delay-ms",
          "1",
          "--journal",
          dir.File("journal" + tag),
          "--program-erase-ms",
          "100",
          "--restart-ms",
          "200"};
}

// Seconds from the "P" command to the next command line of the journal.
double DataPhaseSeconds(const std::string& journal) {
  std::istringstream lines(journal);
  std::string line;
  double start = -1.0;
  while (std::getline(lines, line)) {
    double at = 0.0;
    char kind[32] = {};
    char rest[64] = {};
    int fields = std::sscanf(line.c_str(), "%lf %31s %63[^\n]", &at, kind, rest);
    if (fields < 2 || std::string(kind) != "command") continue;
    if (start < 0.0 && fields == 3 && std::string(rest) == "P") {
      start = at;
    } else if (start >= 0.0) {
      return at - start;
    }
  }
  return -1.0;
}

double FirstByteMs(const TempDir& dir) {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  grantpt(master);
  unlockpt(master);
  std::string slave = ptsname(master);
  QProcess process;
  process.setWorkingDirectory(QString::fromStdString(dir.Path()));
  QElapsedTimer clock;
  clock.start();
  process.start(RV4410_CLI_PATH,
                {"-p", QString::fromStdString(slave), "--wait", "3", "-q", "identify"});
  pollfd wait{master, POLLIN, 0};
  double ms = -1.0;
  if (poll(&wait, 1, 10000) == 1) ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
  process.waitForFinished(10000);
  close(master);
  return ms - static_cast<double>(kWaitingStartMs);
}

}  // namespace
}  // namespace rv4410::bench

int main(int argc, char** argv) {
  using namespace rv4410::bench;
  QCoreApplication app(argc, argv);
  TempDir dir;
  rv4410::test::ProgramImagePlan plan;
  plan.length = kImageBytes;
  rv4410::test::Bytes image = rv4410::test::BuildProgramImage(plan);
  rv4410::test::WriteFile(dir.File("RV4410_bench.hex"), rv4410::test::HexText(image));
  // On the wire each frame adds its start, type, header and check (16 bytes),
  // and every DLE in the data goes twice.
  std::size_t frames = (kImageBytes - 256 + 4095) / 4096 + 1;
  std::size_t wireBytes = kImageBytes + 16 * frames;
  for (std::uint8_t byte : image) wireBytes += byte == 0x10 ? 1 : 0;
  bool ok = true;

  double oneMs = 0.0;
  {
    SimProcess sim(SimArguments(dir, "one"));
    oneMs = RunCli(dir, {"-p", QString::fromStdString(sim.Path()), "-b", "115200", "-q",
                         "write-program", "RV4410_bench.hex", "--config", "one.dat"});
  }
  double seconds = DataPhaseSeconds(rv4410::test::ReadFile(dir.File("journalone")));
  double share = static_cast<double>(wireBytes) / seconds / kLineBytesPerSecond;
  double imageShare = static_cast<double>(kImageBytes) / seconds / kLineBytesPerSecond;
  std::printf(
      "write-program data phase: %zu image bytes (%zu on the wire) in %.3f s = %.1f%% of "
      "115200 baud; the image bytes alone %.1f%% (target >= %.0f%%)\n",
      kImageBytes, wireBytes, seconds, share * 100.0, imageShare * 100.0, kMinLineShare * 100.0);
  ok = ok && share >= kMinLineShare;

  double threeMs = 0.0;
  {
    std::vector<std::unique_ptr<SimProcess>> sims;
    QStringList arguments;
    for (const char* tag : {"a", "b", "c"}) {
      sims.push_back(std::make_unique<SimProcess>(SimArguments(dir, tag)));
      arguments << "-p" << QString::fromStdString(sims.back()->Path());
    }
    arguments << "-b"
              << "115200"
              << "-q"
              << "write-program"
              << "RV4410_bench.hex"
              << "--config"
              << "three.dat";
    threeMs = RunCli(dir, arguments);
  }
  double factor = threeMs / oneMs;
  std::printf("one unit %.0f ms, three units at once %.0f ms = %.3f times (target <= %.2f)\n",
              oneMs, threeMs, factor, kMaxThreeUnitsFactor);
  ok = ok && factor <= kMaxThreeUnitsFactor;

  double firstMs = FirstByteMs(dir);
  std::printf(
      "start to first byte on the wire: %.1f ms beyond the page's %lld ms start delay "
      "(target <= %.0f ms)\n",
      firstMs, static_cast<long long>(rv4410::kWaitingStartMs), kMaxFirstByteMs);
  ok = ok && firstMs >= -static_cast<double>(rv4410::kWaitingStartMs) && firstMs <= kMaxFirstByteMs;
  return ok ? 0 : 1;
}
