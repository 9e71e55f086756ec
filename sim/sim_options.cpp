#include "sim/sim_options.h"

#include <cerrno>
#include <cstdlib>

namespace rv4410::sim {

namespace {

bool ParseInt(const std::string& text, long min, long max, long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0' || parsed < min || parsed > max) return false;
  value = parsed;
  return true;
}

}  // namespace

const std::vector<SimOption>& SimOptionTable() {
  static const std::vector<SimOption> kTable = {
      {"--help", nullptr, "print this help and exit",
       [](SimOptions& o, const std::string&) { return o.help = true; }},
      {"--speed", "BAUD", "the speed the unit starts at and answers at (default 9600)",
       [](SimOptions& o, const std::string& v) {
         long baud = 0;
         if (!ParseInt(v, 300, 921600, baud)) return false;
         o.line.speed = static_cast<int>(baud);
         return true;
       }},
      {"--silent", nullptr, "the unit never answers",
       [](SimOptions& o, const std::string&) { return o.line.silent = true; }},
      {"--reply-delay-ms", "MS", "think time before each reply (default 2)",
       [](SimOptions& o, const std::string& v) {
         long ms = 0;
         if (!ParseInt(v, 0, 600000, ms)) return false;
         o.line.replyDelayUs = ms * 1000;
         return true;
       }},
      {"--babble", "KIND",
       "after each OK also send bad input: nul (NUL bytes, spaces and line feeds, then "
       "\"READY\"), ff (a line of 0xFF 0x80 0xFF), long-line (300 characters), spaces "
       "(without end)",
       [](SimOptions& o, const std::string& v) { return ParseBabble(v, o.babble); }},
  };
  return kTable;
}

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    const SimOption* match = nullptr;
    for (const SimOption& option : SimOptionTable()) {
      if (arg == option.name) match = &option;
    }
    if (match == nullptr) {
      error = "unknown option " + arg;
      return false;
    }
    std::string value;
    if (match->argument != nullptr) {
      if (i + 1 >= argc) {
        error = arg + " needs " + match->argument;
        return false;
      }
      value = argv[++i];
    }
    if (!match->apply(options, value)) {
      error = "bad value for " + arg + ": " + value;
      return false;
    }
  }
  return true;
}

std::string SimHelpText() {
  constexpr std::size_t kHelpColumn = 29;
  constexpr std::size_t kWidth = 79;
  std::string text =
      "Usage: rv4410-sim [options]\n"
      "Starts a simulated RV4410 unit on a new pseudo-terminal and prints the\n"
      "terminal's path on the first line. Ends on SIGINT, SIGTERM or SIGHUP.\n\nOptions:\n";
  for (const SimOption& option : SimOptionTable()) {
    std::string line = std::string("  ") + option.name;
    if (option.argument != nullptr) line += std::string(" ") + option.argument;
    // The help words, wrapped under one another at the help column.
    std::string help = option.help;
    std::size_t start = 0;
    while (start < help.size()) {
      if (line.size() >= kHelpColumn) {
        text += line + "\n";
        line.clear();
      }
      line.resize(kHelpColumn, ' ');
      std::size_t end = help.size();
      if (end - start > kWidth - kHelpColumn) {
        end = help.rfind(' ', start + (kWidth - kHelpColumn));
        if (end == std::string::npos || end <= start) end = start + (kWidth - kHelpColumn);
      }
      line += help.substr(start, end - start);
      start = end;
      while (start < help.size() && help[start] == ' ') ++start;
    }
    text += line + "\n";
  }
  return text;
}

}  // namespace rv4410::sim
