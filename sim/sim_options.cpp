#include "sim/sim_options.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
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

bool ParseUint32(const std::string& text, std::uint32_t& value) {
  if (text.empty() || text[0] == '-') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != '\0' || parsed > 0xFFFFFFFFull) return false;
  value = static_cast<std::uint32_t>(parsed);
  return true;
}

// Sets `target` from a line number or count of at least 0.
bool SetCount(const std::string& text, int& target) {
  long value = 0;
  if (!ParseInt(text, 0, 1000000, value)) return false;
  target = static_cast<int>(value);
  return true;
}

// Sets `us` from milliseconds (0 to an hour).
bool SetMs(const std::string& text, std::int64_t& us) {
  long ms = 0;
  if (!ParseInt(text, 0, 3'600'000, ms)) return false;
  us = static_cast<std::int64_t>(ms) * 1000;
  return true;
}

bool SetPath(const std::string& text, std::string& target) {
  target = text;
  return !text.empty();
}

using BlockKnobsOf = BlockKnobs& (*)(SimOptions&);

// The block fault options of one load; names and help are literals of the caller.
void AddBlockOptions(std::vector<SimOption>& table, BlockKnobsOf knobs, const char* faultName,
                     const char* faultHelp, const char* blockName, const char* blockHelp,
                     const char* timesName, const char* timesHelp, const char* neverName,
                     const char* neverHelp) {
  table.push_back({faultName, "KIND", faultHelp, [knobs](SimOptions& o, const std::string& v) {
                     BlockKnobs& blocks = knobs(o);
                     if (blocks.faultBlock < 0) blocks.faultBlock = 0;
                     return ParseBlockFault(v, blocks.fault);
                   }});
  table.push_back({blockName, "K", blockHelp, [knobs](SimOptions& o, const std::string& v) {
                     return SetCount(v, knobs(o).faultBlock);
                   }});
  table.push_back({timesName, "N", timesHelp, [knobs](SimOptions& o, const std::string& v) {
                     return SetCount(v, knobs(o).faultTimes);
                   }});
  table.push_back({neverName, nullptr, neverHelp, [knobs](SimOptions& o, const std::string&) {
                     return knobs(o).neverAnswer = true;
                   }});
}

// Both loads' flash writes take the flash fault options.
template <typename Apply>
bool BothFlashes(SimOptions& o, Apply apply) {
  return apply(o.program.flash) && apply(o.map.flash);
}

std::vector<SimOption> LoadOptions() {
  std::vector<SimOption> table = {
      {"--restart-ms", "MS",
       "how long the unit is deaf and mute after \"RESET\" or a flash write (default 1500)",
       [](SimOptions& o, const std::string& v) { return SetMs(v, o.line.restartUs); }},
      {"--journal", "FILE",
       "append each command line, restart and flash commit to FILE as it happens",
       [](SimOptions& o, const std::string& v) { return SetPath(v, o.journalPath); }},
      {"--data-quiet-return-ms", "MS",
       "after a data block, the quiet spell before 9600 baud (default 3000)",
       [](SimOptions& o, const std::string& v) { return SetMs(v, o.speeds.dataQuietReturnUs); }},
      {"--program-out", "FILE",
       "save each flashed program image (binary, control block first) to FILE",
       [](SimOptions& o, const std::string& v) { return SetPath(v, o.program.programOut); }},
      {"--map-out", "FILE", "save the data of each flashed map (binary) to FILE",
       [](SimOptions& o, const std::string& v) { return SetPath(v, o.map.mapOut); }},
      {"--map-control-block-out", "FILE", "save the control block of each flashed map to FILE",
       [](SimOptions& o, const std::string& v) { return SetPath(v, o.map.controlBlockOut); }},
      {"--program-erase-ms", "MS", "program flash write: time to \"Begin write\" (default 300)",
       [](SimOptions& o, const std::string& v) { return SetMs(v, o.program.flash.eraseUs); }},
      {"--program-flash-us-per-kib", "US", "program flash write: time per KiB (default 1000)",
       [](SimOptions& o, const std::string& v) {
         long us = 0;
         if (!ParseInt(v, 0, 60'000'000, us)) return false;
         o.program.flash.usPerKiB = us;
         return true;
       }},
      {"--map-erase-ms", "MS", "map flash write: time to \"Begin write\" (default 1000)",
       [](SimOptions& o, const std::string& v) { return SetMs(v, o.map.flash.eraseUs); }},
      {"--map-flash-us-per-kib", "US", "map flash write: time per KiB (default 1000)",
       [](SimOptions& o, const std::string& v) {
         long us = 0;
         if (!ParseInt(v, 0, 60'000'000, us)) return false;
         o.map.flash.usPerKiB = us;
         return true;
       }},
      {"--flash-begin-every-ms", "MS",
       "a \"Begin write\" line this often while flash is written (default 30000; 0: none)",
       [](SimOptions& o, const std::string& v) {
         return BothFlashes(o, [&v](FlashKnobs& f) { return SetMs(v, f.beginEveryUs); });
       }},
      {"--flash-retry", "N", "answer the first N flash writes (\"W\") with \"Retry\"",
       [](SimOptions& o, const std::string& v) {
         return BothFlashes(o, [&v](FlashKnobs& f) { return SetCount(v, f.retryTimes); });
       }},
      {"--flash-fail", "LINE", "end every flash write with LINE instead of \"OK\"",
       [](SimOptions& o, const std::string& v) {
         return BothFlashes(o, [&v](FlashKnobs& f) { return SetPath(v, f.failLine); });
       }},
      {"--flash-silent", nullptr,
       "hang after \"Begin erase\", deaf and mute, as if the flash write never ended",
       [](SimOptions& o, const std::string&) {
         return BothFlashes(o, [](FlashKnobs& f) { return f.silent = true; });
       }},
      {"--forget-configuration", nullptr,
       "the parameters read as erased (0xFFFFFFFF) after a flash write",
       [](SimOptions& o, const std::string&) {
         return BothFlashes(o, [](FlashKnobs& f) { return f.forgetConfiguration = true; });
       }},
      {"--hang-up-at", "PHASE",
       "hang up the line for good: block:K (when data block K arrives), raw (half way through "
       "raw program data), flash (after \"Begin erase\"), restart (after a flash write's OK), "
       "restore (at the second line of a configuration list written to the unit)",
       [](SimOptions& o, const std::string& v) {
         if (v == "restore") {
           o.configuration.hangUpAtWriteLine = 1;
           return true;
         }
         return ParseHangUp(v, o.program.hangUp) && ParseHangUp(v, o.map.hangUp);
       }},
  };
  AddBlockOptions(
      table, [](SimOptions& o) -> BlockKnobs& { return o.program.blocks; }, "--program-block-fault",
      "drop, garble or error: the answer to a program data block (see the next two)",
      "--program-fault-block", "the program data block (from 0) with the fault (default 0)",
      "--program-fault-times", "...on its first N attempts (default 1)", "--program-never-ack",
      "never answer a program data block");
  AddBlockOptions(
      table, [](SimOptions& o) -> BlockKnobs& { return o.map.blocks; }, "--map-block-fault",
      "drop, garble or error: the answer to a map data block (see the next two)",
      "--map-fault-block", "the map data block (from 0) with the fault (default 0)",
      "--map-fault-times", "...on its first N attempts (default 1)", "--map-never-ack",
      "never answer a map data block");
  table.push_back({"--write-samples", "DIR",
                   "write a sample program file and map file into DIR and exit",
                   [](SimOptions& o, const std::string& v) { return SetPath(v, o.samplesDir); }});
  table.push_back({"--sample-program-kib", "N",
                   "...with a sample program of N KiB after its control block (default 64), "
                   "for longer uploads",
                   [](SimOptions& o, const std::string& v) {
                     long kib = 0;
                     if (!ParseInt(v, 1, kSampleProgramMaxKib, kib)) return false;
                     o.sampleProgramKib = static_cast<int>(kib);
                     return true;
                   }});
  return table;
}

bool Readable(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

}  // namespace

const std::vector<SimOption>& SimOptionTable() {
  static const std::vector<SimOption> kTable = [] {
    std::vector<SimOption> table = {
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
        {"--reply-delay-ms", "MS",
         "think time before each reply, the unit's turnaround (default 2; 1 for benchmarks)",
         [](SimOptions& o, const std::string& v) {
           long ms = 0;
           if (!ParseInt(v, 0, 600000, ms)) return false;
           o.line.replyDelayUs = ms * 1000;
           return true;
         }},
        {"--cable-max-baud", "BAUD", "the highest speed the cable carries; above it bytes garble",
         [](SimOptions& o, const std::string& v) {
           long baud = 0;
           if (!ParseInt(v, 300, 921600, baud)) return false;
           o.line.cableMaxBaud = static_cast<int>(baud);
           return true;
         }},
        // Identification ("QP").
        {"--map-area-start", "N", "identification: start of the map memory",
         [](SimOptions& o, const std::string& v) {
           return ParseUint32(v, o.identification.mapAreaStart);
         }},
        {"--map-area-end", "N", "identification: end of the map memory",
         [](SimOptions& o, const std::string& v) {
           return ParseUint32(v, o.identification.mapAreaEnd);
         }},
        {"--map-base", "N", "identification: base of the map addresses",
         [](SimOptions& o, const std::string& v) {
           return ParseUint32(v, o.identification.mapBase);
         }},
        {"--feature-flags", "N", "identification: capability bits",
         [](SimOptions& o, const std::string& v) {
           return ParseUint32(v, o.identification.featureFlags);
         }},
        {"--id-lower-case", nullptr, "identification digits in lower case",
         [](SimOptions& o, const std::string&) { return o.identification.lowerCase = true; }},
        {"--id-line-length", "N", "identification digits per line (default: one line)",
         [](SimOptions& o, const std::string& v) {
           long n = 0;
           if (!ParseInt(v, 0, 520, n)) return false;
           o.identification.digitsPerLine = static_cast<int>(n);
           return true;
         }},
        {"--id-spaces", nullptr, "a space after every pair of identification digits",
         [](SimOptions& o, const std::string&) {
           return o.identification.spaceBetweenBytes = true;
         }},
        {"--no-identification", nullptr, "the unit does not answer \"QP\"",
         [](SimOptions& o, const std::string&) { return o.identification.absent = true; }},
        {"--id-damaged-check", nullptr, "one digit of the identification check is wrong",
         [](SimOptions& o, const std::string&) { return o.identification.damagedCheck = true; }},
        {"--id-odd-digits", nullptr, "the identification lacks its last digit",
         [](SimOptions& o, const std::string&) { return o.identification.oddDigits = true; }},
        {"--id-stops-halfway", nullptr, "the identification stops after half its digits",
         [](SimOptions& o, const std::string&) { return o.identification.stopsHalfway = true; }},
        // Speed commands, load modes, control block.
        {"--refuse-speed", nullptr, "answer every speed command with an error",
         [](SimOptions& o, const std::string&) { return o.speeds.refuseSpeed = true; }},
        {"--ignore-load-mode", nullptr, "never answer \"P\" or \"M\"",
         [](SimOptions& o, const std::string&) { return o.speeds.ignoreLoadMode = true; }},
        {"--quiet-return-ms", "MS",
         "back to 9600 baud after this long without a valid command (default 1000; 0: never)",
         [](SimOptions& o, const std::string& v) {
           long ms = 0;
           if (!ParseInt(v, 0, 600000, ms)) return false;
           o.speeds.quietReturnUs = ms * 1000;
           return true;
         }},
        {"--state-dir", "DIR", "folder where the unit keeps what it received",
         [](SimOptions& o, const std::string& v) {
           o.speeds.stateDir = v;
           return !v.empty();
         }},
        // The configuration exchanges.
        {"--no-checked-exchange", nullptr, "leave RX and WX unanswered (plain exchanges only)",
         [](SimOptions& o, const std::string&) {
           o.configuration.checkedExchange = false;
           return true;
         }},
        {"--damage-line", "N", "send parameter line N (from 0) damaged (see --damage-*)",
         [](SimOptions& o, const std::string& v) {
           return SetCount(v, o.configuration.damagedLine);
         }},
        {"--damage-attempts", "M", "damage that line in the first M reads (default 1)",
         [](SimOptions& o, const std::string& v) {
           return SetCount(v, o.configuration.damagedAttempts);
         }},
        {"--damage-kind", "KIND", "char (an invalid character) or value (bad value field)",
         [](SimOptions& o, const std::string& v) {
           if (v != "char" && v != "value") return false;
           o.configuration.damage =
               v == "char" ? LineDamage::kInvalidCharacter : LineDamage::kBadValueField;
           return true;
         }},
        {"--wrong-check-line", "N", "send line N of a checked read with a wrong check character",
         [](SimOptions& o, const std::string& v) {
           return SetCount(v, o.configuration.wrongCheckLine);
         }},
        {"--wrong-check-sends", "M", "...on its first M sends (default 1; 3 sends at most)",
         [](SimOptions& o, const std::string& v) {
           return SetCount(v, o.configuration.wrongCheckSends);
         }},
        {"--silent-after-lines", "N", "fall silent after N lines of a read",
         [](SimOptions& o, const std::string& v) {
           return SetCount(v, o.configuration.silentAfterLines);
         }},
        {"--cut-line", "N", "stop in the middle of line N of a read",
         [](SimOptions& o, const std::string& v) { return SetCount(v, o.configuration.cutLine); }},
        {"--never-ack-writes", nullptr, "never answer the lines of a checked write",
         [](SimOptions& o, const std::string&) {
           o.configuration.neverAckWrites = true;
           return true;
         }},
        {"--params-in", "FILE", "start with the parameter list of this configuration file",
         [](SimOptions& o, const std::string& v) {
           o.configuration.paramsIn = v;
           return Readable(v);
         }},
        {"--empty-list", nullptr, "the unit holds no parameter: its list is just the empty line",
         [](SimOptions& o, const std::string&) { return o.configuration.emptyList = true; }},
        {"--serial-number", "N", "the unit's serial number, its \"PTEST Sernum\" parameter",
         [](SimOptions& o, const std::string& v) {
           std::uint32_t value = 0;
           if (!ParseUint32(v, value)) return false;
           o.configuration.serialNumber = value;
           return true;
         }},
        {"--params-out", "FILE", "save the parameter list to this file when the unit stops",
         [](SimOptions& o, const std::string& v) {
           o.configuration.paramsOut = v;
           return !v.empty();
         }},
        {"--babble", "KIND",
         "after each OK also send bad input: nul (NUL bytes, spaces and line feeds, then "
         "\"READY\"), ff (a line of 0xFF 0x80 0xFF), long-line (300 characters), spaces "
         "(without end)",
         [](SimOptions& o, const std::string& v) { return ParseBabble(v, o.babble); }},
    };
    std::vector<SimOption> loads = LoadOptions();
    table.insert(table.end(), loads.begin(), loads.end());
    return table;
  }();
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
