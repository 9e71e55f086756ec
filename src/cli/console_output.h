#pragma once
// What the command line says: log lines and results on standard output,
// progress and problems on standard error; with --json one JSON object per
// line on standard output instead.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace rv4410 {

// One JSON line: its keys come out sorted, as scripts have read them so far.
using JsonObject = nlohmann::json;

struct OutputMode {
  bool json = false;
  bool quiet = false;
  // Progress as one redrawn line (a terminal) or a line every 10 per cent.
  bool progressTerminal = false;
};

class ConsoleOutput {
 public:
  explicit ConsoleOutput(OutputMode mode) : mode_(mode) {}

  const OutputMode& Mode() const { return mode_; }

  // One line of the activity log, without its line end.
  void LogLine(std::string_view text);
  // A box of the logic and the answer the console gave it; `rule` says why.
  void Box(std::string_view caption, std::string_view text, std::string_view answer,
           std::string_view rule);
  // A problem the user must see (a port that will not open, a usage error).
  void Problem(std::string_view text);
  // A progress step: `phase` the page's status text, `position` of 1000,
  // `totalBytes` the image being sent (0 when none).
  void Progress(std::string_view phase, int position, std::int64_t totalBytes, std::int64_t nowMs);
  // Ends a redrawn progress line, so that the next text starts on a line of its own.
  void EndProgress();
  // A plain result line (text mode) or a JSON object with "type" set.
  void Result(const std::string& text, const JsonObject& object);
  // Writes `object` as one compact line on standard output.
  static void WriteJson(const JsonObject& object);

 private:
  OutputMode mode_;
  std::string phase_;
  std::int64_t phaseStartMs_ = 0;
  int lastPosition_ = -1;
  int lastDecile_ = -1;
  bool progressLineOpen_ = false;
};

}  // namespace rv4410
