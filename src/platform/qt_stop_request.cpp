#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <memory>

#include "platform/stop_request.h"

namespace rv4410 {

namespace {

int g_pipe[2] = {-1, -1};
volatile std::sig_atomic_t g_arrived = 0;
// Wakes Qt's event loop, and so the wait sleeping in it, when a byte arrives.
std::unique_ptr<QSocketNotifier> g_notifier;

void OnSignalArrived(int) {
  // Only what is safe in a handler: a flag, one write, errno kept.
  g_arrived = 1;
  int saved = errno;
  char byte = 1;
  [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

bool StopRequestArrived() {
  return g_arrived != 0;
}

StopRequest::StopRequest() {
  g_arrived = 0;
  if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  g_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  QObject::connect(g_notifier.get(), &QSocketNotifier::activated, g_notifier.get(), [] {
    char bytes[16];
    while (read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
  });
  struct sigaction action {};
  action.sa_handler = OnSignalArrived;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

StopRequest::~StopRequest() {
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  g_notifier.reset();
  for (int& fd : g_pipe) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

}  // namespace rv4410
