#include "platform/qt_waits.h"

#include <QTimer>
#include <algorithm>
#include <utility>

namespace rv4410 {

namespace {

// How often PumpMessages lets events run when called in a tight loop.
constexpr std::int64_t kPumpIntervalNs = 1'000'000;

}  // namespace

QtWaits::QtWaits(RunEvents runEvents) : runEvents_(std::move(runEvents)) {
  clock_.start();
}

std::int64_t QtWaits::TickCount() const {
  return clock_.elapsed();
}

void QtWaits::PumpMessages() {
  // The serial link pumps once per byte it moves. A turn of the event loop
  // costs system calls, which would hold the line far below its speed; the
  // window answers at once if user events run every millisecond or so.
  std::int64_t now = clock_.nsecsElapsed();
  if (now - lastPumpNs_ < kPumpIntervalNs) return;
  lastPumpNs_ = now;
  runEvents_(QEventLoop::AllEvents);
}

void QtWaits::WaitForEvent(std::int64_t deadline) {
  std::int64_t remaining = deadline - TickCount();
  if (remaining <= 0) {
    PumpMessages();
    return;
  }
  // A precise timer: Qt's default coarse timers may fire up to 5% early,
  // which would cut a 5000 ms reply wait short by 250 ms.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  wake.start(static_cast<int>(std::min<std::int64_t>(remaining, 24 * 3600 * 1000)));
  // Sleeps until an event arrives: serial input (the port's read notifier),
  // a user action, or the timer; then runs what is pending.
  runEvents_(QEventLoop::WaitForMoreEvents);
  lastPumpNs_ = clock_.nsecsElapsed();
  ++wakeups_;
}

}  // namespace rv4410
