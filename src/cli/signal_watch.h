#pragma once
// SIGINT and SIGTERM as events of the Qt loop: the handler only writes a byte
// into a pipe; a socket notifier on the other end runs the reaction.

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace rv4410 {

class SignalWatch {
 public:
  SignalWatch();
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // What runs when a signal has arrived (from the event loop, never the handler).
  void OnSignal(std::function<void()> reaction) { reaction_ = std::move(reaction); }
  bool Arrived() const { return arrived_; }

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void()> reaction_;
  bool arrived_ = false;
};

}  // namespace rv4410
