#include "cli/signal_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace rv4410 {

namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_arrived = 0;

void OnSignalArrived(int) {
  // Only what is safe in a handler: a flag, one write, errno kept.
  g_arrived = 1;
  int saved = errno;
  char byte = 1;
  [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

bool StopSignalArrived() {
  return g_arrived != 0;
}

SignalWatch::SignalWatch() {
  g_arrived = 0;
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
    char bytes[16];
    while (read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    if (reaction_) reaction_();
  });
  struct sigaction action {};
  action.sa_handler = OnSignalArrived;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool SignalWatch::Arrived() const {
  return StopSignalArrived();
}

SignalWatch::~SignalWatch() {
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  notifier_.reset();
  for (int& fd : g_pipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace rv4410
