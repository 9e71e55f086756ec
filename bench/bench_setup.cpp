// Transfer set-up against a unit that works at 115200 baud, through the real
// serial port and rv4410-sim on a paced pseudo-terminal. Reports the time
// beyond the set-up's own waits: the 400 ms pause before switching and the
// transmission of the unit's three "OK\r\n" replies (one at 9600 baud, two at
// 115200; the simulator's think time is set to 0).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <array>
#include <cstdlib>
#include <string>

#include "platform/qt_host.h"
#include "protocol/command_lines.h"
#include "protocol/transfer_setup.h"
#include "support/sim_process.h"

namespace {

using namespace rv4410;

class SilentPage : public TransferPage {
 public:
  void SetStatusText(int, std::string_view) override {}
  WindowRef Window() const override { return nullptr; }
};

double ReplyTransmissionMs() {
  auto charMs = [](int baud) { return 10.0 * 1000.0 / baud; };
  return 4 * charMs(9600) + 2 * 4 * charMs(115200);
}

void BM_SetupTransferAt115200(benchmark::State& state) {
  test::SimProcess sim({"--reply-delay-ms", "0", "--quiet-return-ms", "0"});
  if (!sim.Started()) {
    state.SkipWithError("rv4410-sim did not start");
    return;
  }
  sim.BindTo("COM1");
  QtHost host;
  RunState run(host, "/dev/null");
  SilentPage page;
  std::array<std::uint8_t, kControlBlockSize> block{};
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);

  double overheadSum = 0;
  for (auto _ : state) {
    run.settings.baudRate = 9600;
    SerialOpen(run.link);
    if (!WaitForOk(run, HandshakeStart::kPlain).Done()) {
      state.SkipWithError("no handshake");
      return;
    }
    QElapsedTimer clock;
    clock.start();
    bool done = SetupTransfer(run, page, LoadMode::kProgram, block.data()).Done();
    double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    state.SetIterationTime(ms / 1000.0);
    if (!done || run.settings.baudRate != 115200) {
      state.SkipWithError("set-up did not settle at 115200");
      return;
    }
    overheadSum += ms - static_cast<double>(kSpeedSwitchPauseMs) - ReplyTransmissionMs();
    // Back to 9600 for the next round.
    ReplyBuffer reply{};
    SendLine(run, "BR 9600\r");
    ReceiveLine(run, reply.data(), 500);
    SerialClose(run.link);
  }
  state.counters["overhead_ms"] = overheadSum / static_cast<double>(state.iterations());
  state.counters["own_waits_ms"] = static_cast<double>(kSpeedSwitchPauseMs) + ReplyTransmissionMs();
}
BENCHMARK(BM_SetupTransferAt115200)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
