#include "support/sim_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace rv4410::test {

SimProcess::SimProcess(const std::vector<std::string>& arguments) {
  int out[2];
  if (pipe(out) != 0) return;
  std::vector<std::string> all = {RV4410_SIM_PATH};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  int spawned = posix_spawn(&pid_, RV4410_SIM_PATH, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    pid_ = -1;
    close(out[0]);
    return;
  }
  // The first line is the terminal's path; give the simulator 10 s to print it.
  std::string line;
  pollfd fd{out[0], POLLIN, 0};
  while (poll(&fd, 1, 10000) > 0) {
    char c = 0;
    if (read(out[0], &c, 1) != 1 || c == '\n') break;
    line.push_back(c);
  }
  close(out[0]);
  path_ = line;
}

SimProcess::~SimProcess() {
  Stop();
}

void SimProcess::BindTo(const std::string& portName) const {
  setenv(("RV4410_" + portName).c_str(), path_.c_str(), 1);
}

void SimProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace rv4410::test
