// rv4410: the loader on the command line, for production lines and scripts.

#include <cstdio>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/multi_port.h"
#include "platform/child_processes.h"
#include "platform/console_system.h"
#include "platform/system_calls.h"

int main(int argc, char** argv) {
  rv4410::TreatFileSizeLimitAsWriteError();
  rv4410::ConsoleSystem system(argc, argv);
  rv4410::CliOptions options;
  std::string error;
  switch (rv4410::ParseCliArguments(system.Arguments(), options, error)) {
    case rv4410::ParseOutcome::kHelp:
      std::fputs(rv4410::kCliHelpText, stdout);
      return rv4410::kExitDone;
    case rv4410::ParseOutcome::kCommandHelp:
      std::fputs(rv4410::CommandHelpText(options.command).c_str(), stdout);
      return rv4410::kExitDone;
    case rv4410::ParseOutcome::kVersion:
      std::printf("rv4410 %s\n", RV4410_VERSION);
      return rv4410::kExitDone;
    case rv4410::ParseOutcome::kError:
      std::fprintf(stderr, "rv4410: %s\nTry 'rv4410 --help'.\n", error.c_str());
      return rv4410::kExitUsage;
    case rv4410::ParseOutcome::kRun:
      break;
  }
  options.output.progressTerminal = rv4410::StandardErrorIsConsole();
  if (options.ports.size() > 1 && options.command != rv4410::CliCommand::kPorts) {
    return rv4410::RunOnEveryPort(options, rv4410::OwnProgramPath());
  }
  return rv4410::RunCommand(options, system.PlatformHost());
}
