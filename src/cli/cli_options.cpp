#include "cli/cli_options.h"

#include <QCommandLineParser>

#include "platform/format.h"
#include "wizard/setup_page.h"

namespace rv4410 {

namespace {

bool ToInt(const QString& text, int minimum, int& value) {
  bool ok = false;
  int parsed = text.toInt(&ok);
  if (!ok || parsed < minimum) return false;
  value = parsed;
  return true;
}

constexpr const char* kEmptyFileNameFormat = "%s needs a file name, not an empty one";

// A file name as given: an empty one would quietly mean a default file, and
// one longer than a path may be would be cut into another name. Both are
// refused before anything is read, sent or written.
bool FileNameUsable(const char* what, const std::string& name, std::string& error) {
  if (name.empty()) {
    error = FormatText(kEmptyFileNameFormat, what);
    return false;
  }
  if (!PathFits(name)) {
    error = std::string(what) + ": " + PathTooLongText(name);
    return false;
  }
  return true;
}

struct CommandName {
  const char* name;
  CliCommand command;
  int files;  // positional files the command takes
  const char* help;
};

constexpr CommandName kCommands[] = {
    {"ports", CliCommand::kPorts, 0, kPortsHelpText},
    {"identify", CliCommand::kIdentify, 0, kIdentifyHelpText},
    {"read-config", CliCommand::kReadConfig, 1, kReadConfigHelpText},
    {"write-config", CliCommand::kWriteConfig, 1, kWriteConfigHelpText},
    {"write-program", CliCommand::kWriteProgram, 1, kWriteProgramHelpText},
    {"write-map", CliCommand::kWriteMap, 1, kWriteMapHelpText},
};

// The command named by the first positional argument; null, with `error`
// set, when there is none or it is unknown.
const CommandName* FindCommand(const QStringList& positional, std::string& error) {
  if (positional.isEmpty()) {
    error = "a command is needed";
    return nullptr;
  }
  for (const CommandName& candidate : kCommands) {
    if (positional.first() == QLatin1String(candidate.name)) return &candidate;
  }
  error = "unknown command '" + positional.first().toStdString() + "'";
  return nullptr;
}

}  // namespace

std::string CommandHelpText(CliCommand command) {
  for (const CommandName& candidate : kCommands) {
    if (candidate.command != command) continue;
    std::string text = candidate.help;
    // Listing the ports finds no unit: no question, no port of its own.
    if (command == CliCommand::kPorts) return text;
    if (command != CliCommand::kIdentify) text += kRetriesHelpText;
    return text + kCommonOptionsHelpText;
  }
  return kCliHelpText;
}

ParseOutcome ParseCliArguments(const QStringList& arguments, CliOptions& options,
                               std::string& error) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  QCommandLineOption port({"p", "port"}, "port", "PORT");
  QCommandLineOption baud({"b", "baud"}, "baud", "RATE");
  QCommandLineOption log("log", "log", "FILE");
  QCommandLineOption wait("wait", "wait", "SECONDS");
  QCommandLineOption yes("yes", "yes");
  QCommandLineOption retries("retries", "retries", "N");
  QCommandLineOption acceptDates("accept-dates", "accept-dates");
  QCommandLineOption json("json", "json");
  QCommandLineOption quiet({"q", "quiet"}, "quiet");
  QCommandLineOption verbose({"v", "verbose"}, "verbose");
  QCommandLineOption version("version", "version");
  QCommandLineOption help("help", "help");
  QCommandLineOption config("config", "config", "FILE");
  QCommandLineOption restore("restore", "restore", "WHICH");
  QCommandLineOption noConfigOk("no-config-ok", "no-config-ok");
  parser.addOptions({port, baud, log, wait, yes, retries, acceptDates, json, quiet, verbose,
                     version, help, config, restore, noConfigOk});
  if (!parser.parse(arguments)) {
    error = parser.errorText().toStdString();
    return ParseOutcome::kError;
  }
  if (parser.isSet(help)) {
    if (parser.positionalArguments().isEmpty()) return ParseOutcome::kHelp;
    const CommandName* named = FindCommand(parser.positionalArguments(), error);
    if (named == nullptr) return ParseOutcome::kError;
    options.command = named->command;
    return ParseOutcome::kCommandHelp;
  }
  if (parser.isSet(version)) return ParseOutcome::kVersion;

  for (const QString& name : parser.values(port)) {
    if (name.isEmpty()) {
      error = "--port needs a name";
      return ParseOutcome::kError;
    }
    options.ports.push_back(name.toStdString());
  }
  if (options.ports.empty()) options.ports.push_back("COM1");
  if (parser.isSet(baud) && !ToInt(parser.value(baud), 1, options.baud)) {
    error = "--baud needs a positive speed";
    return ParseOutcome::kError;
  }
  if (parser.isSet(wait) && !ToInt(parser.value(wait), 0, options.waitSeconds)) {
    error = "--wait needs a number of seconds (0 for ever)";
    return ParseOutcome::kError;
  }
  if (parser.isSet(retries) && !ToInt(parser.value(retries), 0, options.rules.retries)) {
    error = "--retries needs a number";
    return ParseOutcome::kError;
  }
  options.logFile = parser.value(log).toStdString();
  if (parser.isSet(log) && !FileNameUsable("--log", options.logFile, error)) {
    return ParseOutcome::kError;
  }
  options.rules.yes = parser.isSet(yes);
  options.rules.acceptDates = parser.isSet(acceptDates);
  options.output.json = parser.isSet(json);
  if (parser.isSet(quiet) && parser.isSet(verbose)) {
    error = "--quiet and --verbose exclude each other";
    return ParseOutcome::kError;
  }
  if (parser.isSet(quiet)) options.verbosity = Verbosity::kQuiet;
  if (parser.isSet(verbose)) options.verbosity = Verbosity::kVerbose;

  QStringList positional = parser.positionalArguments();
  const CommandName* found = FindCommand(positional, error);
  if (found == nullptr) return ParseOutcome::kError;
  if (positional.size() != found->files + 1) {
    error = std::string(found->name) + (found->files == 0 ? " takes no file" : " needs one FILE");
    return ParseOutcome::kError;
  }
  options.command = found->command;
  if (found->files == 1) {
    options.file = positional.at(1).toStdString();
    if (!FileNameUsable("FILE", options.file, error)) return ParseOutcome::kError;
  }
  if (parser.isSet(config)) {
    if (options.command != CliCommand::kWriteProgram) {
      error = "--config belongs to write-program";
      return ParseOutcome::kError;
    }
    options.configFile = parser.value(config).toStdString();
    if (!FileNameUsable("--config", options.configFile, error)) return ParseOutcome::kError;
  }
  if ((parser.isSet(restore) || parser.isSet(noConfigOk)) &&
      options.command != CliCommand::kWriteProgram) {
    error = parser.isSet(restore) ? "--restore belongs to write-program"
                                  : "--no-config-ok belongs to write-program";
    return ParseOutcome::kError;
  }
  if (parser.isSet(restore)) {
    const QString which = parser.value(restore);
    if (which != QLatin1String("saved") && which != QLatin1String("unit")) {
      error = "--restore needs saved or unit";
      return ParseOutcome::kError;
    }
    options.rules.restore =
        which == QLatin1String("saved") ? RestoreRule::kSaved : RestoreRule::kUnit;
  }
  options.rules.noConfigOk = parser.isSet(noConfigOk);
  return ParseOutcome::kRun;
}

}  // namespace rv4410
