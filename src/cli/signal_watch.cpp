#include "cli/signal_watch.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace rv4410 {

namespace {

int g_pipe[2] = {-1, -1};

void OnSignalArrived(int) {
  // Only what is safe in a handler: one write, errno kept.
  int saved = errno;
  char byte = 1;
  [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

SignalWatch::SignalWatch() {
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
    char bytes[16];
    while (read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    arrived_ = true;
    if (reaction_) reaction_();
  });
  struct sigaction action {};
  action.sa_handler = OnSignalArrived;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
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
