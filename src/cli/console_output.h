#pragma once
// What the command line says: results (and with --verbose the log lines) on
// standard output, phases, progress, boxes and problems on standard error;
// with --json one JSON object per line on standard output instead, every
// line whatever the level.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace rv4410 {

// One JSON line: its keys come out sorted, as scripts have read them so far.
using JsonObject = nlohmann::json;

// How much a run says in text: kQuiet the result and the errors only;
// kNormal also the phases, the progress and the boxes with their answers;
// kVerbose also every line of the activity log.
enum class Verbosity { kQuiet, kNormal, kVerbose };

struct OutputMode {
  bool json = false;
  // Progress as one redrawn line (a terminal) or a line every 10 per cent.
  bool progressTerminal = false;
};

class ConsoleOutput {
 public:
  ConsoleOutput(OutputMode mode, Verbosity verbosity) : mode_(mode), verbosity_(verbosity) {}

  const OutputMode& Mode() const { return mode_; }

  // One line of the activity log, without its line end.
  void LogLine(std::string_view text);
  // A box of the logic and the answer the console gave it; `rule` says why.
  // An error box is said even when quiet.
  void Box(std::string_view caption, std::string_view text, std::string_view answer,
           std::string_view rule, bool error);
  // The run enters the phase named `name`; the progress that follows is its.
  void Phase(std::string_view name);
  // A line of the log that the person at the unit must act on, said as one
  // line on standard error (the log has it already).
  void Note(std::string_view text);
  // A problem the user must see (a port that will not open, a usage error).
  void Problem(std::string_view text);
  // A progress step of the current phase: `position` of 1000, `totalBytes`
  // the image being sent (0 when none).
  void Progress(int position, std::int64_t totalBytes, std::int64_t nowMs);
  // Ends a redrawn progress line, so that the next text starts on a line of its own.
  void EndProgress();
  // A plain result line (text mode) or a JSON object with "type" set.
  void Result(const std::string& text, const JsonObject& object);
  // Writes `object` as one compact line on standard output.
  static void WriteJson(const JsonObject& object);

 private:
  OutputMode mode_;
  Verbosity verbosity_;
  std::string phase_;
  // Where the phase's progress started, once it has.
  std::int64_t phaseStartMs_ = -1;
  int lastPosition_ = -1;
  int lastDecile_ = -1;
  bool progressLineOpen_ = false;
};

}  // namespace rv4410
