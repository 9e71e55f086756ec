#pragma once
// The command line of rv4410: options, the command and its files.

#include <string>
#include <vector>

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
    "  --wait SECONDS     how long to look for the unit, and to wait for it inside an\n"
    "                     operation (default 60, 0 for ever)\n"
    "  --yes              answer Yes to \"Try again?\" ...\n"
    "  --retries N        ... at most N times (default 3); without --yes: No\n"
    "  --accept-dates     go on past a map's date warnings (else exit 4)\n"
    "  --restore saved|unit\n"
    "                     write-program: the configuration that goes back to the unit\n"
    "                     when the loader cannot tell it from the unit the saved one\n"
    "                     came from (else exit 1)\n"
    "  --no-config-ok     write-program: go on when the unit holds no configuration\n"
    "                     (else exit 1)\n"
    "  --json             one JSON object per line on standard output: every line\n"
    "                     of every kind, whatever -q or -v\n"
    "  -q, --quiet        only the result and the errors\n"
    "  -v, --verbose      also the activity log's lines (on standard output)\n"
    "  --version          print the version\n"
    "  --help             print this help; after a COMMAND, that command's help\n"
    "\n"
    "Output:\n"
    "  Standard output has the result (\"Done.\" or \"Failed: ...\"); standard\n"
    "  error has the phases (finding unit, reading configuration, sending program,\n"
    "  writing flash, restoring configuration, writing configuration, sending map),\n"
    "  the progress, the boxes with their answers and the problems. The activity\n"
    "  log has every line in the --log file.\n"
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

// What `rv4410 COMMAND --help` prints: what the command does, its arguments
// and the options that change it, then the options every command takes
// (kCliHelpText has them in full).
inline constexpr const char* kPortsHelpText =
    "Usage: rv4410 ports\n"
    "Lists the serial devices, one a line: the COM name that reaches it (COM1 to\n"
    "COM4; RV4410_COM1 to RV4410_COM4 name the devices when set), its path,\n"
    "description, maker, VID:PID, serial number and state (free, missing, in use\n"
    "by which process, or no permission). Opens no port and writes no log.\n"
    "\n"
    "Options:\n"
    "  --json              one JSON object per device\n";

inline constexpr const char* kIdentifyHelpText =
    "Usage: rv4410 [options] identify\n"
    "Finds the unit on the port and prints its identification: the map area's\n"
    "start and end, the map base, the feature flags, the record's check and the\n"
    "free map memory. Changes nothing in the unit. Exit 1 when the unit answers\n"
    "but does not identify itself.\n"
    "\n"
    "Options:\n";

inline constexpr const char* kReadConfigHelpText =
    "Usage: rv4410 [options] read-config FILE\n"
    "Reads the unit's configuration into the text file FILE. An earlier FILE is\n"
    "kept as FILE.1, FILE.2, ...; FILE is replaced only by a complete list.\n"
    "Refused (exit 4) while FILE.restore-pending records that a program upload\n"
    "still owes that list to a unit.\n"
    "\n"
    "Options:\n";

inline constexpr const char* kWriteConfigHelpText =
    "Usage: rv4410 [options] write-config FILE\n"
    "Writes the configuration in the text file FILE into the unit, then resets a\n"
    "unit that identified itself. Lines of the wrong form are dropped and values\n"
    "out of range are sent as the parameter's minimum, each with a warning on\n"
    "standard error. FILE is never changed; a FILE.restore-pending beside it is\n"
    "removed once the unit has the list.\n"
    "\n"
    "Options:\n";

inline constexpr const char* kWriteProgramHelpText =
    "Usage: rv4410 [options] write-program FILE [--config FILE]\n"
    "Writes the program file FILE (hexadecimal digits, RV4410*.hex) into the\n"
    "unit's flash. The unit's configuration is read first into the --config file\n"
    "(default RV4410_Param_<seconds>.dat in the working folder) and written back\n"
    "after the flash write; until then <config>.restore-pending records that it\n"
    "is owed, and a later run writes it back, only to the unit it came from.\n"
    "\"Upload to another unit?\" is answered No: one unit per run; several -p\n"
    "options run several units at once.\n"
    "\n"
    "Options:\n"
    "  --config FILE       where the unit's configuration is kept\n"
    "  --restore saved|unit\n"
    "                      which configuration goes back when the loader cannot\n"
    "                      tell the unit from the one the saved list came from\n"
    "                      (else exit 1)\n"
    "  --no-config-ok      go on when the unit holds no configuration (else exit 1)\n";

inline constexpr const char* kWriteMapHelpText =
    "Usage: rv4410 [options] write-map FILE\n"
    "Writes the map database file FILE (*.bin) into the unit's flash, after\n"
    "checking it against the unit's map capability and free memory.\n"
    "\n"
    "Options:\n"
    "  --accept-dates      go on past the map's date warnings (not yet effective,\n"
    "                      expired); without it they refuse the file (exit 4)\n";

// The options of every command that talks to a unit, after its own.
inline constexpr const char* kRetriesHelpText =
    "  --yes, --retries N  answer \"Try again?\" with Yes at most N times\n";
inline constexpr const char* kCommonOptionsHelpText =
    "  -p -b --log --wait --json -q -v\n"
    "                      as for every command (rv4410 --help)\n";

// The help of one command.
std::string CommandHelpText(CliCommand command);

enum class ParseOutcome { kRun, kHelp, kCommandHelp, kVersion, kError };

// Parses `arguments` (the program name first) into `options`; on kError,
// `error` says what is wrong. --help alone gives kHelp; after a command,
// kCommandHelp with that command in `options.command`.
ParseOutcome ParseCliArguments(const std::vector<std::string>& arguments, CliOptions& options,
                               std::string& error);

}  // namespace rv4410
