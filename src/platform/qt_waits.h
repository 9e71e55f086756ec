#pragma once
// The waits of the logic on Qt's event loop: a monotonic clock, a pump that
// lets events run about once a millisecond, and a sleep until input, an event
// or the deadline. The desktop host and the console host both wait this way.

#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdint>
#include <functional>

namespace rv4410 {

class QtWaits {
 public:
  // `runEvents` runs the pending events with the flags given; the desktop
  // host wraps it to keep quit requests, the console host runs them plainly.
  using RunEvents = std::function<void(QEventLoop::ProcessEventsFlags)>;
  explicit QtWaits(RunEvents runEvents);

  std::int64_t TickCount() const;
  void PumpMessages();
  void WaitForEvent(std::int64_t deadline);
  // How many times WaitForEvent has slept and woken.
  std::int64_t Wakeups() const { return wakeups_; }

 private:
  RunEvents runEvents_;
  QElapsedTimer clock_;
  std::int64_t wakeups_ = 0;
  std::int64_t lastPumpNs_ = -1'000'000'000;  // when events last ran
};

}  // namespace rv4410
