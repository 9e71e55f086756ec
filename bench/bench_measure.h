#pragma once
// What the real-time benchmarks measure alike: CPU of this process and of
// its reaped children, wall time, the latency of user events posted from
// another thread while the loader works, and the report of a figure against
// its target.

#include <sys/resource.h>

#include <QObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace rv4410::bench {

using Clock = std::chrono::steady_clock;

// Whether a short smoke run was asked for: `--quick`, or RV4410_BENCH_QUICK=1.
inline bool QuickRun(int argc, char** argv) {
  const char* quick = std::getenv("RV4410_BENCH_QUICK");
  return (argc > 1 && std::strcmp(argv[1], "--quick") == 0) ||
         (quick != nullptr && quick[0] == '1');
}

inline double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Prints one figure with its target; remembers a missed one.
class Report {
 public:
  void Figure(const char* what, double value, const char* unit, const char* relation, double target,
              bool met) {
    std::printf("  %-56s %10.2f %-5s (target %s %.0f %s) %s\n", what, value, unit, relation, target,
                unit, met ? "ok" : "MISSED");
    if (!met) failed_ = true;
  }
  void Info(const char* what, double value, const char* unit) {
    std::printf("  %-56s %10.2f %s\n", what, value, unit);
  }
  bool Failed() const { return failed_; }

 private:
  bool failed_ = false;
};

// Posts a user event to `receiver` every 100 to 300 ms from another thread
// until stopped, and keeps how long each took to be handled.
class EventProbe {
 public:
  explicit EventProbe(QObject& receiver) : receiver_(receiver) {
    thread_ = std::thread([this] { Post(); });
  }
  ~EventProbe() { Stop(); }

  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  // Median and maximum, in ms, of the events handled so far.
  std::vector<double> Latencies() const { return latencies_; }
  static double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  }
  static double Maximum(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
  }

 private:
  void Post() {
    std::mt19937 random(4410);
    std::uniform_int_distribution<int> pauseMs(100, 300);
    while (!stop_.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
      Clock::time_point posted = Clock::now();
      QMetaObject::invokeMethod(
          &receiver_,
          [this, posted] {
            latencies_.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - posted).count());
          },
          Qt::QueuedConnection);
    }
  }

  QObject& receiver_;
  std::atomic<bool> stop_{false};
  std::vector<double> latencies_;  // written on the receiver's (the main) thread
  std::thread thread_;
};

}  // namespace rv4410::bench
