#pragma once
// Several units at once: one process per port (this program again, with one
// --port), their lines prefixed with the port, then a summary.

#include <string>
#include <vector>

#include "cli/cli_run.h"

namespace rv4410 {

// "<stem>-<port><extension>" for `base` ("Loader.LOG" -> "Loader-COM1.LOG"),
// the port made fit for a file name.
std::string PerPortFileName(const std::string& base, const std::string& port);

// The arguments that run `options` on `port` alone.
std::vector<std::string> ChildArguments(const CliOptions& options, const std::string& port);

// Runs every port of `options` at once, each in a process of `program`;
// returns the worst exit code.
int RunOnEveryPort(const CliOptions& options, const std::string& program);

}  // namespace rv4410
