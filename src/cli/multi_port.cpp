#include "cli/multi_port.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "activity_log/activity_log.h"
#include "cli/console_output.h"
#include "datafiles/default_files.h"
#include "platform/child_processes.h"
#include "platform/stop_request.h"

namespace rv4410 {

namespace {

const char* CommandWord(CliCommand command) {
  switch (command) {
    case CliCommand::kPorts:
      return "ports";
    case CliCommand::kIdentify:
      return "identify";
    case CliCommand::kReadConfig:
      return "read-config";
    case CliCommand::kWriteConfig:
      return "write-config";
    case CliCommand::kWriteProgram:
      return "write-program";
    case CliCommand::kWriteMap:
      return "write-map";
  }
  return "";
}

// One unit's process and the part of a line it has written so far.
struct Unit {
  std::string port;
  std::string pendingOut;
  std::string pendingErr;
  int exitCode = kExitFailed;
};

void EmitLine(const Unit& unit, std::string_view line, bool json, FILE* stream) {
  if (json && stream == stdout) {
    JsonObject object = JsonObject::parse(line, nullptr, false);
    if (object.is_object()) {
      object["port"] = unit.port;
      ConsoleOutput::WriteJson(object);
      return;
    }
  }
  std::fprintf(stream, "[%s] %.*s\n", unit.port.c_str(), static_cast<int>(line.size()),
               line.data());
  std::fflush(stream);
}

void Drain(Unit& unit, std::string& pending, std::string_view bytes, bool json, FILE* stream,
           bool flush) {
  pending.append(bytes);
  std::size_t end;
  while ((end = pending.find('\n')) != std::string::npos) {
    EmitLine(unit, std::string_view(pending).substr(0, end), json, stream);
    pending.erase(0, end + 1);
  }
  if (flush && !pending.empty()) {
    EmitLine(unit, pending, json, stream);
    pending.clear();
  }
}

}  // namespace

std::string PerPortFileName(const std::string& base, const std::string& port) {
  std::string stem = base;
  std::string extension;
  std::size_t dot = base.find_last_of('.');
  std::size_t slash = base.find_last_of('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    stem = base.substr(0, dot);
    extension = base.substr(dot);
  }
  std::string name = port;
  for (char& c : name) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '.';
    if (!plain) c = '_';
  }
  return stem + "-" + name + extension;
}

std::vector<std::string> ChildArguments(const CliOptions& options, const std::string& port) {
  std::vector<std::string> arguments{"--port", port, "--baud", std::to_string(options.baud)};
  std::string log = options.logFile.empty() ? std::string(kLogFileName) : options.logFile;
  arguments.insert(arguments.end(), {"--log", PerPortFileName(log, port), "--wait",
                                     std::to_string(options.waitSeconds), "--retries",
                                     std::to_string(options.rules.retries)});
  if (options.rules.yes) arguments.push_back("--yes");
  if (options.rules.acceptDates) arguments.push_back("--accept-dates");
  if (options.output.json) arguments.push_back("--json");
  if (options.verbosity == Verbosity::kQuiet) arguments.push_back("--quiet");
  if (options.verbosity == Verbosity::kVerbose) arguments.push_back("--verbose");
  arguments.push_back(CommandWord(options.command));
  // Each unit's configuration goes to a file of its own; a file that is
  // only read (write-config, the images) is shared.
  std::string file = options.file;
  if (options.command == CliCommand::kReadConfig) file = PerPortFileName(file, port);
  if (!file.empty()) arguments.push_back(file);
  if (options.command == CliCommand::kWriteProgram) {
    std::string config =
        options.configFile.empty() ? DefaultConfigFileName(std::time(nullptr)) : options.configFile;
    arguments.insert(arguments.end(), {"--config", PerPortFileName(config, port)});
    if (options.rules.restore != RestoreRule::kNone) {
      arguments.insert(
          arguments.end(),
          {"--restore", options.rules.restore == RestoreRule::kSaved ? "saved" : "unit"});
    }
    if (options.rules.noConfigOk) arguments.push_back("--no-config-ok");
  }
  return arguments;
}

int RunOnEveryPort(const CliOptions& options, const std::string& program) {
  bool json = options.output.json;
  std::vector<Unit> units;
  std::vector<std::vector<std::string>> argumentLists;
  for (const std::string& port : options.ports) {
    units.push_back({port, "", "", kExitFailed});
    argumentLists.push_back(ChildArguments(options, port));
  }
  ChildEvents events;
  events.output = [&units, json](std::size_t index, bool error, std::string_view bytes) {
    Unit& unit = units[index];
    Drain(unit, error ? unit.pendingErr : unit.pendingOut, bytes, json, error ? stderr : stdout,
          false);
  };
  events.ended = [&units, json](std::size_t index, const ChildEnd& end) {
    Unit& unit = units[index];
    Drain(unit, unit.pendingOut, "", json, stdout, true);
    Drain(unit, unit.pendingErr, "", json, stderr, true);
    unit.exitCode = !end.started ? kExitFailed : end.exited ? end.code : kExitInterrupted;
  };
  // A stop is the children's as well: each ends at its next check.
  StopRequest stop;
  RunChildProcesses(program, argumentLists, stop, events);

  int worst = kExitDone;
  if (!json) std::printf("\n%-24s %-5s %s\n", "PORT", "EXIT", "RESULT");
  for (const Unit& unit : units) {
    int code = unit.exitCode;
    worst = std::max(worst, code);
    if (json) {
      ConsoleOutput::WriteJson({{"type", "summary"},
                                {"port", unit.port},
                                {"exit", code},
                                {"meaning", ExitMeaning(code)}});
    } else {
      std::printf("%-24s %-5d %s\n", unit.port.c_str(), code, ExitMeaning(code));
    }
  }
  std::fflush(stdout);
  if (stop.Arrived() && worst == kExitDone) worst = kExitInterrupted;
  return worst;
}

}  // namespace rv4410
