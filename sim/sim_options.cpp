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
  std::string text =
      "Usage: rv4410-sim [options]\n"
      "Starts a simulated RV4410 unit on a new pseudo-terminal and prints the\n"
      "terminal's path on the first line. Ends on SIGINT or SIGTERM.\n\nOptions:\n";
  for (const SimOption& option : SimOptionTable()) {
    std::string left = std::string("  ") + option.name;
    if (option.argument != nullptr) left += std::string(" ") + option.argument;
    if (left.size() < 28) left.resize(28, ' ');
    text += left + " " + option.help + "\n";
  }
  return text;
}

}  // namespace rv4410::sim
