// bench_serial_link: the Qt host and QSerialPort against rv4410-sim on a
// pseudo-terminal, in real time.
//   - CPU used by the loader while WaitForOk runs against a silent unit, and
//     while ReceiveLine waits (% of one core; the simulator's own CPU beside it);
//   - latency from a user event posted during a wait to the wait returning;
//   - bytes per second SendLine hands to a pseudo-terminal that nothing paces;
//   - a ReceiveLine with a short timeout after 4 KB sent at 9600 baud, to a
//     peer that paces the bytes at the line rate and answers only once all
//     have arrived: that it gets the answer, and how long past the line time;
//   - how often the waits wake per character of a long line received at 9600.
// Prints each figure with its target; exits 1 when a target is missed.
// `--quick` (or RV4410_BENCH_QUICK=1) shortens every measurement for a smoke run.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/qt_host.h"
#include "protocol/command_lines.h"
#include "protocol/run_state.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace rv4410::bench {
namespace {

using Clock = std::chrono::steady_clock;
using test::SimProcess;
using test::TempDir;

constexpr double kMaxCpuPercent = 2.0;
constexpr double kMaxMedianLatencyMs = 10.0;
constexpr double kMaxLatencyMs = 50.0;
constexpr double kMinSendBytesPerSecond = 200'000.0;
// The reply wait after a long send: the answer comes once the last byte is
// in; the wait beyond the line time is the peer's turn-around and polling.
constexpr int kLongSendBytes = 4096;
constexpr int kLongSendBaud = 9600;
constexpr std::int64_t kShortReplyTimeoutMs = 100;
constexpr double kMaxExtraWaitMs = 50.0;

struct Durations {
  int handshakeMs = 10'000;
  int receiveMs = 5'000;
  int latencySamples = 50;
  int throughputMs = 3'000;
  int longLines = 10;
};

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool failed = false;

void Report(const char* what, double value, const char* unit, const char* relation, double target,
            bool met) {
  std::printf("  %-52s %10.2f %-5s (target %s %.0f %s) %s\n", what, value, unit, relation, target,
              unit, met ? "ok" : "MISSED");
  if (!met) failed = true;
}

// The loader with "COM1" open at `baud` to the terminal at `path`.
struct LoaderOn {
  LoaderOn(const std::string& path, int baud) : run(host, dir.File("Loader.LOG")) {
    setenv("RV4410_COM1", path.c_str(), 1);
    run.settings.baudRate = baud;
    if (SerialOpen(run.link) != 1) {
      std::fprintf(stderr, "bench_serial_link: cannot open %s\n", path.c_str());
      std::exit(2);
    }
  }

  TempDir dir;
  QtHost host;
  RunState run;
};

// A loader run against a fresh silent simulator on "COM1".
struct SilentUnitRun {
  SilentUnitRun() : sim({"--silent"}), run(host, dir.File("Loader.LOG")) {
    if (!sim.Started()) {
      std::fprintf(stderr, "bench_serial_link: rv4410-sim did not start\n");
      std::exit(2);
    }
    sim.BindTo("COM1");
  }
  void Open() {
    run.settings.baudRate = 9600;
    if (SerialOpen(run.link) != 1) {
      std::fprintf(stderr, "bench_serial_link: cannot open %s\n", sim.Path().c_str());
      std::exit(2);
    }
  }

  SimProcess sim;
  TempDir dir;
  QtHost host;
  RunState run;
};

// Runs `wait` and reports the loader's CPU (and the simulator's, once it has ended).
template <typename Wait>
void MeasureCpu(const char* what, int durationMs, Wait wait) {
  double simBefore = CpuSeconds(RUSAGE_CHILDREN);
  double loaderCpu = 0;
  double wallMs = 0;
  {
    SilentUnitRun silent;
    silent.Open();
    double before = CpuSeconds(RUSAGE_SELF);
    Clock::time_point start = Clock::now();
    wait(silent.run, durationMs);
    wallMs = MsSince(start);
    loaderCpu = CpuSeconds(RUSAGE_SELF) - before;
  }
  // The simulator has been stopped and reaped: its CPU is in RUSAGE_CHILDREN.
  double simCpu = CpuSeconds(RUSAGE_CHILDREN) - simBefore;
  double loaderPercent = 100.0 * loaderCpu * 1000.0 / wallMs;
  std::printf("%s: %.0f ms of wall time\n", what, wallMs);
  Report("loader CPU, % of one core", loaderPercent, "%", "<=", kMaxCpuPercent,
         loaderPercent <= kMaxCpuPercent);
  std::printf("  %-52s %10.2f %%\n", "simulator CPU (whole life), % of one core",
              100.0 * simCpu * 1000.0 / wallMs);
}

void HandshakeCpu(int durationMs) {
  MeasureCpu("WaitForOk against a silent unit", durationMs, [](RunState& run, int ms) {
    QTimer::singleShot(ms, Qt::PreciseTimer, [&run] { run.CancelRequested = true; });
    WaitForOk(run, HandshakeStart::kPlain);
  });
}

void ReceiveCpu(int durationMs) {
  MeasureCpu("ReceiveLine waiting on a silent unit", durationMs, [](RunState& run, int ms) {
    ReplyBuffer reply{};
    ReceiveLine(run, reply.data(), ms);
  });
}

// Another thread posts a user event at a random point of the handshake's
// cycle; its handler does what a page's Cancel does (sets CancelRequested and
// closes the port), or with `closesPort` false only sets the flag. Measured:
// from the post to WaitForOk returning. The targets apply to the page's way.
void CancelLatency(int samples, bool closesPort) {
  SilentUnitRun silent;
  RunState& run = silent.run;
  QObject receiver;
  std::mt19937 random(4410);
  std::uniform_int_distribution<int> delayMs(100, 1400);
  std::vector<double> latencies;
  struct Worst {
    double total = 0;
    double dispatch = 0;
    double close = 0;
    int postedAfterMs = 0;
  } worst;
  Clock::time_point handledAt;
  Clock::time_point closedAt;
  for (int i = 0; i < samples; ++i) {
    run.CancelRequested = false;
    SerialClose(run.link);
    silent.Open();
    std::atomic<Clock::rep> postedAt{0};
    int delay = delayMs(random);
    std::thread poster([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      postedAt.store(Clock::now().time_since_epoch().count());
      QMetaObject::invokeMethod(
          &receiver,
          [&run, &handledAt, &closedAt, closesPort] {
            handledAt = Clock::now();
            run.CancelRequested = true;
            if (closesPort) SerialCloseNow(run.link);
            closedAt = Clock::now();
          },
          Qt::QueuedConnection);
    });
    WaitForOk(run, HandshakeStart::kPlain);
    Clock::time_point ended = Clock::now();
    poster.join();
    Clock::time_point posted{Clock::duration(postedAt.load())};
    latencies.push_back(std::chrono::duration<double, std::milli>(ended - posted).count());
    double dispatchMs = std::chrono::duration<double, std::milli>(handledAt - posted).count();
    double closeMs = std::chrono::duration<double, std::milli>(closedAt - handledAt).count();
    if (latencies.back() >= worst.total) worst = {latencies.back(), dispatchMs, closeMs, delay};
  }
  std::sort(latencies.begin(), latencies.end());
  double median = latencies[latencies.size() / 2];
  std::printf("User event posted during WaitForOk, to WaitForOk returning (%s): %d samples\n",
              closesPort ? "handler sets CancelRequested and closes the port, as the pages do"
                         : "handler only sets CancelRequested",
              samples);
  std::printf(
      "  %-52s %10.2f ms (posted %d ms into the wait; handler ran after %.2f ms,"
      " then took %.2f ms)\n",
      "worst sample", worst.total, worst.postedAfterMs, worst.dispatch, worst.close);
  if (!closesPort) {
    // The open port is polled a byte at a time, 40 ms per poll; the flag is
    // seen between polls, so this way has no target of its own.
    std::printf("  %-52s %10.2f ms\n", "median latency", median);
    std::printf("  %-52s %10.2f ms\n", "maximum latency", worst.total);
    return;
  }
  Report("median latency", median, "ms", "<=", kMaxMedianLatencyMs, median <= kMaxMedianLatencyMs);
  Report("maximum latency", worst.total, "ms", "<=", kMaxLatencyMs, worst.total <= kMaxLatencyMs);
}

// A new pseudo-terminal: the loader opens the slave path, the bench serves the
// master (non-blocking). The slave stays open here too, which keeps the line up
// whatever the loader does with its end.
struct PtyEnds {
  PtyEnds() {
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
      std::perror("bench_serial_link: openpty");
      std::exit(2);
    }
    path = ttyname(slave);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  }
  ~PtyEnds() {
    close(slave);
    close(master);
  }
  PtyEnds(const PtyEnds&) = delete;
  PtyEnds& operator=(const PtyEnds&) = delete;

  int master = -1;
  int slave = -1;
  std::string path;
};

// A pseudo-terminal whose master a thread drains as fast as it can.
class DrainedPty {
 public:
  DrainedPty() : reader_([this] { Drain(); }) {}
  ~DrainedPty() {
    stop_.store(true);
    reader_.join();
  }
  const std::string& Path() const { return pty_.path; }
  std::size_t Received() const { return received_.load(); }

 private:
  void Drain() {
    char buffer[65536];
    while (!stop_.load()) {
      pollfd fd{pty_.master, POLLIN, 0};
      if (poll(&fd, 1, 20) <= 0) continue;
      ssize_t got = read(pty_.master, buffer, sizeof buffer);
      if (got > 0) received_ += static_cast<std::size_t>(got);
    }
  }

  PtyEnds pty_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> received_{0};
  std::thread reader_;
};

void SendLineThroughput(int durationMs) {
  DrainedPty pty;
  LoaderOn loader(pty.Path(), 115200);
  RunState& run = loader.run;
  // Lines as long as the format buffer allows.
  std::string line(kFormatBufferSize - 3, 'A');
  line += "\r\n";
  std::size_t sent = 0;
  Clock::time_point start = Clock::now();
  while (MsSince(start) < durationMs) {
    SendLine(run, "%s", line.c_str());
    sent += line.size();
  }
  double seconds = MsSince(start) / 1000.0;
  SerialClose(run.link);
  // Let the reader catch up, then see that nothing was dropped on the way.
  for (int i = 0; i < 100 && pty.Received() < sent; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  double rate = static_cast<double>(sent) / seconds;
  std::printf("SendLine to a pseudo-terminal drained by a reader: %zu bytes in %.2f s\n", sent,
              seconds);
  Report("bytes per second", rate / 1000.0, "kB/s", ">=", kMinSendBytesPerSecond / 1000.0,
         rate >= kMinSendBytesPerSecond);
  bool complete = pty.Received() == sent;
  std::printf("  %-52s %10zu bytes %s\n", "received by the other end", pty.Received(),
              complete ? "ok (all)" : "MISSING BYTES");
  if (!complete) failed = true;
}

// A pseudo-terminal whose far end takes the loader's bytes at the line rate of
// `baud` (a pseudo-terminal itself does not pace) and answers "OK\r\n" once
// `expected` bytes have arrived, the last of them with its stop bit.
class PacedAnsweringPty {
 public:
  PacedAnsweringPty(int baud, std::size_t expected)
      : characterUs_(CharacterTimeUs(baud)), expected_(expected), peer_([this] { Serve(); }) {}
  ~PacedAnsweringPty() {
    stop_.store(true);
    peer_.join();
  }
  const std::string& Path() const { return pty_.path; }
  // When the last byte had arrived on the paced line (valid once Answered()).
  Clock::time_point LastByteAt() const { return lastByteAt_; }
  bool Answered() const { return answered_.load(); }

 private:
  void Serve() {
    char buffer[4096];
    std::size_t received = 0;
    Clock::time_point lineFree = Clock::now();
    while (!stop_.load() && !answered_.load()) {
      pollfd fd{pty_.master, POLLIN, 0};
      int timeoutMs = received >= expected_ ? 1 : 20;
      if (poll(&fd, 1, timeoutMs) > 0) {
        ssize_t got = read(pty_.master, buffer, sizeof buffer);
        for (ssize_t i = 0; i < got; ++i) {
          lineFree = std::max(lineFree, Clock::now()) + std::chrono::microseconds(characterUs_);
        }
        if (got > 0) received += static_cast<std::size_t>(got);
      }
      if (received >= expected_) {
        std::this_thread::sleep_until(lineFree);
        lastByteAt_ = lineFree;
        ssize_t wrote = write(pty_.master, "OK\r\n", 4);
        answered_.store(wrote == 4);
      }
    }
  }

  PtyEnds pty_;
  std::int64_t characterUs_;
  std::size_t expected_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> answered_{false};
  Clock::time_point lastByteAt_{};
  std::thread peer_;
};

void ReplyAfterLongSend() {
  PacedAnsweringPty pty(kLongSendBaud, kLongSendBytes);
  LoaderOn loader(pty.Path(), kLongSendBaud);
  RunState& run = loader.run;
  // Lines as long as the format buffer allows (its last byte ends the text).
  const int longest = static_cast<int>(kFormatBufferSize) - 1;
  Clock::time_point start = Clock::now();
  for (int sent = 0; sent < kLongSendBytes; sent += longest) {
    std::string line(static_cast<std::size_t>(std::min(longest, kLongSendBytes - sent) - 2), 'D');
    SendLine(run, "%s\r\n", line.c_str());
  }
  double handedOverMs = MsSince(start);
  ReplyBuffer reply{};
  int result = ReceiveLine(run, reply.data(), kShortReplyTimeoutMs);
  Clock::time_point ended = Clock::now();
  SerialClose(run.link);
  double lineMs = kLongSendBytes * CharacterTimeUs(kLongSendBaud) / 1000.0;
  double waitedMs = std::chrono::duration<double, std::milli>(ended - start).count();
  bool ok = result == 2 && std::string(reply.data()) == "OK";
  std::printf("ReceiveLine (%lld ms) after %d bytes sent at %d baud to a paced peer: %s\n",
              static_cast<long long>(kShortReplyTimeoutMs), kLongSendBytes, kLongSendBaud,
              ok ? "answered \"OK\" ok" : "NO ANSWER (MISSED)");
  if (!ok) failed = true;
  std::printf("  %-52s %10.2f ms\n", "bytes handed over in", handedOverMs);
  std::printf("  %-52s %10.2f ms\n", "line time of the bytes", lineMs);
  if (!ok || !pty.Answered()) return;
  double extraMs = std::chrono::duration<double, std::milli>(ended - pty.LastByteAt()).count();
  std::printf("  %-52s %10.2f ms\n", "from the send to the answer read", waitedMs);
  Report("wait past the last byte's arrival", extraMs, "ms", "<=", kMaxExtraWaitMs,
         extraMs <= kMaxExtraWaitMs);
}

// The unit babbles a line of 300 characters after each "OK"; read at 9600
// baud, each costs the waits a number of wakes. Compared across changes to the
// link, not against a target: fewer is better, and a line still ends only at
// its line end (or 254 characters).
void LongLineWakes(int lines) {
  SimProcess sim({"--babble", "long-line"});
  if (!sim.Started()) {
    std::fprintf(stderr, "bench_serial_link: rv4410-sim did not start\n");
    std::exit(2);
  }
  LoaderOn loader(sim.Path(), 9600);
  RunState& run = loader.run;
  QtHost& host = loader.host;
  std::int64_t wakes = 0;
  int characters = 0;
  bool whole = true;
  for (int i = 0; i < lines; ++i) {
    ReplyBuffer reply{};
    SendLine(run, "\x18\x18\x18\x18\x18");
    if (ReceiveLine(run, reply.data(), 500) != 2) whole = false;
    std::int64_t before = host.Wakeups();
    int first = ReceiveLine(run, reply.data(), 1000);
    int rest = ReceiveLine(run, reply.data(), 1000);
    wakes += host.Wakeups() - before;
    characters += std::max(first, 0) + std::max(rest, 0);
    if (first != kReplyMaxLength || rest != 300 - kReplyMaxLength) whole = false;
  }
  SerialClose(run.link);
  std::printf("A 300-character line at 9600 baud, %d times: %s\n", lines,
              whole ? "read whole ok" : "CUT (MISSED)");
  if (!whole) failed = true;
  std::printf("  %-52s %10.3f\n", "wakes of the waits per character",
              characters > 0 ? static_cast<double>(wakes) / characters : 0.0);
}

}  // namespace
}  // namespace rv4410::bench

int main(int argc, char** argv) {
  using namespace rv4410::bench;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  Durations durations;
  const char* quick = std::getenv("RV4410_BENCH_QUICK");
  if ((argc > 1 && std::strcmp(argv[1], "--quick") == 0) || (quick != nullptr && quick[0] == '1')) {
    durations = {2'000, 1'000, 10, 1'000, 3};
  }

  HandshakeCpu(durations.handshakeMs);
  ReceiveCpu(durations.receiveMs);
  CancelLatency(durations.latencySamples, true);
  CancelLatency(durations.latencySamples, false);
  SendLineThroughput(durations.throughputMs);
  ReplyAfterLongSend();
  LongLineWakes(durations.longLines);
  std::printf(failed ? "bench_serial_link: a target was MISSED\n"
                     : "bench_serial_link: every target met\n");
  return failed ? 1 : 0;
}
