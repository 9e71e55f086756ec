#pragma once
// SIGINT and SIGTERM as events of the Qt loop: the handler only sets a flag
// and writes a byte into a pipe; a socket notifier on the other end runs the
// reaction. Work outside the loop reads the flag.

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace rv4410 {

// Whether SIGINT or SIGTERM has arrived since a SignalWatch was made: a flag
// the handler sets, for work that runs without the event loop.
bool StopSignalArrived();

class SignalWatch {
 public:
  SignalWatch();
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // What runs when a signal has arrived (from the event loop, never the handler).
  void OnSignal(std::function<void()> reaction) { reaction_ = std::move(reaction); }
  // Whether a signal has arrived, also while no event loop runs (a file read).
  bool Arrived() const;

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void()> reaction_;
};

}  // namespace rv4410
