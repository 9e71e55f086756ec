// rv4410-sim: a simulated unit on a pseudo-terminal, for tests and for people.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "sim/pty_line.h"
#include "sim/sample_files.h"
#include "sim/sim_options.h"
#include "sim/unit_features.h"

namespace {

std::atomic<bool> stopRequested{false};

void RequestStop(int) {
  stopRequested.store(true);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace rv4410::sim;
  SimOptions options;
  std::string error;
  if (!ParseSimOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "rv4410-sim: %s\n%s", error.c_str(), SimHelpText().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(SimHelpText().c_str(), stdout);
    return 0;
  }
  if (!options.samplesDir.empty()) {
    std::size_t programBytes =
        kSampleControlBlockBytes + static_cast<std::size_t>(options.sampleProgramKib) * 1024;
    if (!WriteSamples(options.samplesDir, std::time(nullptr), error, programBytes)) {
      std::fprintf(stderr, "rv4410-sim: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s/%s\n%s/%s\n", options.samplesDir.c_str(), kSampleProgramName,
                options.samplesDir.c_str(), kSampleMapName);
    return 0;
  }

  UnitModel unit(options.line);
  AddUnitFeatures(unit, options);
  PtyLine line(unit);
  if (!line.Create()) {
    std::fprintf(stderr, "rv4410-sim: cannot create a pseudo-terminal: %s\n", std::strerror(errno));
    return 1;
  }

  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A closed terminal ends the simulator like Ctrl-C, saving what it holds.
  sigaction(SIGHUP, &action, nullptr);
  // Whoever started us may stop reading our output once it has the path.
  std::signal(SIGPIPE, SIG_IGN);

  std::printf("%s\n", line.SlavePath().c_str());
  std::fflush(stdout);
  bool ok = line.Run(stopRequested);
  FinishUnitFeatures(unit, options);
  return ok ? 0 : 1;
}
