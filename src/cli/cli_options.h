#pragma once
// The command line of rv4410: options, the command and its files.

#include <QStringList>
#include <string>

#include "cli/cli_run.h"

namespace rv4410 {

inline constexpr const char* kCliHelpText =
    "Usage: rv4410 [options] COMMAND [arguments]\n"
    "Loads programs, maps and configurations into RV4410 units without the wizard.\n"
    "\n"
    "Commands:\n"
    "  ports                          list the serial devices, their COM names and state\n"
    "  identify                       find the unit and print its identification\n"
    "  read-config FILE               read the unit's configuration into FILE\n"
    "  write-config FILE              write the configuration in FILE to the unit\n"
    "  write-program FILE [--config FILE]\n"
    "                                 write a new program; the configuration is saved\n"
    "                                 to the --config file first and written back after\n"
    "  write-map FILE                 write a new map database\n"
    "\n"
    "Options:\n"
    "  -p, --port PORT    COM1 to COM4 or a device path (default COM1); repeat it to\n"
    "                     run the command on several units at once\n"
    "  -b, --baud RATE    the starting speed (default 9600)\n"
    "  --log FILE         the activity log (default Loader.LOG; Loader-<port>.LOG\n"
    "                     per unit with several ports)\n"
    "  --wait SECONDS     how long to look for the unit (default 60, 0 for ever)\n"
    "  --yes              answer Yes to \"Try again?\" ...\n"
    "  --retries N        ... at most N times (default 3); without --yes: No\n"
    "  --accept-dates     go on past a map's date warnings (else exit 4)\n"
    "  --restore saved|unit\n"
    "                     write-program: the configuration that goes back to the unit\n"
    "                     when the loader cannot tell it from the unit the saved one\n"
    "                     came from (else exit 1)\n"
    "  --no-config-ok     write-program: go on when the unit holds no configuration\n"
    "                     (else exit 1)\n"
    "  --json             one JSON object per line on standard output\n"
    "  -q, --quiet        no log lines and no progress\n"
    "  --version          print the version\n"
    "  --help             print this help\n"
    "\n"
    "Exit codes:\n"
    "  0    done\n"
    "  1    the operation failed (an error reply, a timeout, a failed flash write)\n"
    "  2    usage\n"
    "  3    the port could not be opened\n"
    "  4    an input file was refused\n"
    "  5    no unit answered within --wait\n"
    "  130  interrupted (SIGINT or SIGTERM)\n"
    "With several ports the exit code is the worst of the units'.\n";

enum class ParseOutcome { kRun, kHelp, kVersion, kError };

// Parses `arguments` (the program name first) into `options`; on kError,
// `error` says what is wrong.
ParseOutcome ParseCliArguments(const QStringList& arguments, CliOptions& options,
                               std::string& error);

}  // namespace rv4410
