#pragma once
// The commands of rv4410 and how each one's end becomes an exit code.

#include <string>
#include <vector>

#include "cli/console_host.h"
#include "cli/console_output.h"
#include "protocol/outcome.h"

namespace rv4410 {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPortNotOpened = 3;
inline constexpr int kExitFileRefused = 4;
inline constexpr int kExitNoUnit = 5;
inline constexpr int kExitInterrupted = 130;

enum class CliCommand { kPorts, kIdentify, kReadConfig, kWriteConfig, kWriteProgram, kWriteMap };

struct CliOptions {
  std::vector<std::string> ports;  // at least one once parsed
  int baud = 9600;
  std::string logFile;  // empty: the loader's default name
  int waitSeconds = 60;
  BoxRules rules;
  OutputMode output;
  Verbosity verbosity = Verbosity::kNormal;  // -q/--quiet, -v/--verbose
  CliCommand command = CliCommand::kPorts;
  std::string file;        // the command's file
  std::string configFile;  // write-program --config
};

// Where in a run an operation ended: finding the unit (the waiting page), or
// the operation on it (the transfer page).
enum class RunStage { kFindingUnit, kOperation };

// The exit code of a page's work that ended as `ending`. Only the ending and
// the stage count: no text of the run (a box, a status field, the log, the
// outcome's words) reaches an exit code.
int ExitCodeFor(Ending ending, RunStage stage);

// The meaning of an exit code, for the summary and the messages.
const char* ExitMeaning(int code);

// Runs `options.command` on the first port, on the platform's host (see
// ConsoleSystem); returns the exit code.
int RunCommand(const CliOptions& options, Host& platform);

}  // namespace rv4410
