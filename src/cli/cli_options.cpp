#include "cli/cli_options.h"

#include <CLI/App.hpp>
#include <CLI/Config.hpp>
#include <CLI/Formatter.hpp>
#include <algorithm>
#include <charconv>

#include "platform/format.h"
#include "wizard/setup_page.h"

namespace rv4410 {

namespace {

constexpr const char* kUnknownOptionFormat = "Unknown option '%s'.";
constexpr const char* kUnknownOptionsFormat = "Unknown options: %s.";
constexpr const char* kMissingValueFormat = "Missing value after '%s'.";
constexpr const char* kUnexpectedValueFormat = "Unexpected value after '%s'.";

// A whole number, blanks around it allowed, at least `minimum`.
bool ToInt(const std::string& text, int minimum, int& value) {
  std::size_t first = text.find_first_not_of(" \t");
  std::size_t last = text.find_last_not_of(" \t");
  if (first == std::string::npos) return false;
  const char* begin = text.data() + first;
  const char* end = text.data() + last + 1;
  if (*begin == '+') ++begin;
  int parsed = 0;
  auto [stop, failure] = std::from_chars(begin, end, parsed);
  if (failure != std::errc() || stop != end || parsed < minimum) return false;
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
const CommandName* FindCommand(const std::vector<std::string>& positional, std::string& error) {
  if (positional.empty()) {
    error = "a command is needed";
    return nullptr;
  }
  for (const CommandName& candidate : kCommands) {
    if (positional.front() == candidate.name) return &candidate;
  }
  error = "unknown command '" + positional.front() + "'";
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

namespace {

struct OptionName {
  const char* shortName;  // empty: none
  const char* longName;
  bool takesValue;
};

constexpr OptionName kOptionNames[] = {
    {"p", "port", true},    {"b", "baud", true},   {"", "log", true},
    {"", "wait", true},     {"", "retries", true}, {"", "config", true},
    {"", "restore", true},  {"", "yes", false},    {"", "accept-dates", false},
    {"", "json", false},    {"q", "quiet", false}, {"v", "verbose", false},
    {"", "version", false}, {"", "help", false},   {"", "no-config-ok", false},
};

const OptionName* FindOption(const std::string& name) {
  for (const OptionName& option : kOptionNames) {
    if (name == option.longName || (*option.shortName != '\0' && name == option.shortName)) {
      return &option;
    }
  }
  return nullptr;
}

// The words as the parser takes them, in the loader's long-standing reading:
// "-word" is the option "--word" as much as "--word" is, and one that takes a
// value takes the next word whatever it is ("--wait -1", "--log ''"). Each
// known option is handed over by its long name, its value as the next word.
// After "--" every word is an argument. The names of unknown options go to
// `unknown`.
bool NormalizedWords(const std::vector<std::string>& arguments, std::vector<std::string>& words,
                     std::vector<std::string>& unknown, std::string& error) {
  bool optionsEnded = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      words.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      words.push_back(word);
      continue;
    }
    std::size_t dashes = word[1] == '-' ? 2 : 1;
    std::size_t equals = word.find('=', dashes);
    std::string name = word.substr(dashes, equals == std::string::npos ? equals : equals - dashes);
    const OptionName* option = FindOption(name);
    if (option == nullptr) {
      unknown.push_back(name);
      continue;
    }
    std::string spelled = std::string("--") + option->longName;
    if (equals != std::string::npos) {
      if (!option->takesValue) {
        error = FormatText(kUnexpectedValueFormat, word.substr(0, equals).c_str());
        return false;
      }
      words.insert(words.end(), {spelled, word.substr(equals + 1)});
    } else if (!option->takesValue) {
      words.push_back(spelled);
    } else if (i + 1 < arguments.size()) {
      words.insert(words.end(), {spelled, arguments[++i]});
    } else {
      error = FormatText(kMissingValueFormat, word.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

ParseOutcome ParseCliArguments(const std::vector<std::string>& arguments, CliOptions& options,
                               std::string& error) {
  std::vector<std::string> words;
  std::vector<std::string> unknown;
  if (!NormalizedWords(arguments, words, unknown, error)) return ParseOutcome::kError;
  if (!unknown.empty()) {
    std::string names;
    for (const std::string& name : unknown) names += (names.empty() ? "" : ", ") + name;
    error = FormatText(unknown.size() == 1 ? kUnknownOptionFormat : kUnknownOptionsFormat,
                       names.c_str());
    return ParseOutcome::kError;
  }

  CLI::App parser;
  // The help is the loader's own text (kCliHelpText), printed by the caller.
  parser.set_help_flag();
  parser.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  std::vector<std::string> ports;
  std::string baud, log, wait, retries, config, restore;
  std::vector<std::string> positional;
  parser.add_option("-p,--port", ports)
      ->expected(1)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  CLI::Option* baudSet = parser.add_option("-b,--baud", baud);
  CLI::Option* logSet = parser.add_option("--log", log);
  CLI::Option* waitSet = parser.add_option("--wait", wait);
  CLI::Option* retriesSet = parser.add_option("--retries", retries);
  CLI::Option* configSet = parser.add_option("--config", config);
  CLI::Option* restoreSet = parser.add_option("--restore", restore);
  bool help = false;
  bool version = false;
  bool noConfigOk = false;
  parser.add_flag("--yes", options.rules.yes);
  parser.add_flag("--accept-dates", options.rules.acceptDates);
  parser.add_flag("--json", options.output.json);
  bool quiet = false;
  bool verbose = false;
  parser.add_flag("-q,--quiet", quiet);
  parser.add_flag("-v,--verbose", verbose);
  parser.add_flag("--version", version);
  parser.add_flag("--help", help);
  parser.add_flag("--no-config-ok", noConfigOk);
  parser.add_option("words", positional);
  std::reverse(words.begin(), words.end());
  try {
    parser.parse(words);
  } catch (const CLI::ParseError& failure) {
    error = failure.what();
    return ParseOutcome::kError;
  }

  if (help) {
    if (positional.empty()) return ParseOutcome::kHelp;
    const CommandName* named = FindCommand(positional, error);
    if (named == nullptr) return ParseOutcome::kError;
    options.command = named->command;
    return ParseOutcome::kCommandHelp;
  }
  if (version) return ParseOutcome::kVersion;

  for (const std::string& name : ports) {
    if (name.empty()) {
      error = "--port needs a name";
      return ParseOutcome::kError;
    }
    options.ports.push_back(name);
  }
  if (options.ports.empty()) options.ports.push_back("COM1");
  if (baudSet->count() > 0 && !ToInt(baud, 1, options.baud)) {
    error = "--baud needs a positive speed";
    return ParseOutcome::kError;
  }
  if (waitSet->count() > 0 && !ToInt(wait, 0, options.waitSeconds)) {
    error = "--wait needs a number of seconds (0 for ever)";
    return ParseOutcome::kError;
  }
  if (retriesSet->count() > 0 && !ToInt(retries, 0, options.rules.retries)) {
    error = "--retries needs a number";
    return ParseOutcome::kError;
  }
  options.logFile = log;
  if (logSet->count() > 0 && !FileNameUsable("--log", options.logFile, error)) {
    return ParseOutcome::kError;
  }
  if (quiet && verbose) {
    error = "--quiet and --verbose exclude each other";
    return ParseOutcome::kError;
  }
  if (quiet) options.verbosity = Verbosity::kQuiet;
  if (verbose) options.verbosity = Verbosity::kVerbose;

  const CommandName* found = FindCommand(positional, error);
  if (found == nullptr) return ParseOutcome::kError;
  if (positional.size() != static_cast<std::size_t>(found->files) + 1) {
    error = std::string(found->name) + (found->files == 0 ? " takes no file" : " needs one FILE");
    return ParseOutcome::kError;
  }
  options.command = found->command;
  if (found->files == 1) {
    options.file = positional.at(1);
    if (!FileNameUsable("FILE", options.file, error)) return ParseOutcome::kError;
  }
  if (configSet->count() > 0) {
    if (options.command != CliCommand::kWriteProgram) {
      error = "--config belongs to write-program";
      return ParseOutcome::kError;
    }
    options.configFile = config;
    if (!FileNameUsable("--config", options.configFile, error)) return ParseOutcome::kError;
  }
  if ((restoreSet->count() > 0 || noConfigOk) && options.command != CliCommand::kWriteProgram) {
    error = restoreSet->count() > 0 ? "--restore belongs to write-program"
                                    : "--no-config-ok belongs to write-program";
    return ParseOutcome::kError;
  }
  if (restoreSet->count() > 0) {
    if (restore != "saved" && restore != "unit") {
      error = "--restore needs saved or unit";
      return ParseOutcome::kError;
    }
    options.rules.restore = restore == "saved" ? RestoreRule::kSaved : RestoreRule::kUnit;
  }
  options.rules.noConfigOk = noConfigOk;
  return ParseOutcome::kRun;
}

}  // namespace rv4410
