#pragma once
// Several units at once: one process per port (this program again, with one
// --port), their lines prefixed with the port, then a summary.

#include <string>

#include "cli/cli_run.h"

namespace rv4410 {

// "Loader-<port>.LOG" beside `logFile` (the default name when empty), the
// port made fit for a file name.
std::string PerPortLogName(const std::string& logFile, const std::string& port);

// The arguments that run `options` on `port` alone.
QStringList ChildArguments(const CliOptions& options, const std::string& port);

// Runs every port of `options` at once; returns the worst exit code.
int RunOnEveryPort(const CliOptions& options, const QString& program);

}  // namespace rv4410
