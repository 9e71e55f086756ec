#include "cli/console_output.h"

#include <cstdio>

namespace rv4410 {

namespace {

// A phase as its own line: the name and an ellipsis.
constexpr const char* kPhaseLineFormat = "%.*s...\n";

constexpr int kBarWidth = 30;

// A text of several lines as one: its line breaks become spaces.
std::string OneLine(std::string_view text) {
  std::string flat(text);
  for (char& c : flat) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return flat;
}

}  // namespace

void ConsoleOutput::WriteJson(const JsonObject& object) {
  // A text from the unit or a file may hold bytes that are no UTF-8: each
  // becomes U+FFFD rather than ending the program.
  std::string line = object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void ConsoleOutput::LogLine(std::string_view text) {
  if (mode_.json) {
    WriteJson({{"type", "log"}, {"text", text}});
    return;
  }
  if (verbosity_ != Verbosity::kVerbose) return;
  EndProgress();
  std::fprintf(stdout, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stdout);
}

void ConsoleOutput::Box(std::string_view caption, std::string_view text, std::string_view answer,
                        std::string_view rule, bool error) {
  if (mode_.json) {
    WriteJson({{"type", "box"},
               {"caption", caption},
               {"text", text},
               {"answer", answer},
               {"rule", rule}});
    return;
  }
  if (verbosity_ == Verbosity::kQuiet && !error) return;
  EndProgress();
  std::string flat = OneLine(text);
  std::fprintf(stderr, "%.*s: %s -> %.*s\n", static_cast<int>(caption.size()), caption.data(),
               flat.c_str(), static_cast<int>(answer.size()), answer.data());
  std::fflush(stderr);
}

void ConsoleOutput::Problem(std::string_view text) {
  EndProgress();
  if (mode_.json) WriteJson({{"type", "problem"}, {"text", text}});
  std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

void ConsoleOutput::Phase(std::string_view name) {
  if (name == phase_) return;
  phase_ = std::string(name);
  phaseStartMs_ = -1;
  lastPosition_ = -1;
  lastDecile_ = -1;
  if (mode_.json) {
    WriteJson({{"type", "phase"}, {"phase", name}});
    return;
  }
  if (verbosity_ == Verbosity::kQuiet) return;
  EndProgress();
  std::fprintf(stderr, kPhaseLineFormat, static_cast<int>(name.size()), name.data());
  std::fflush(stderr);
}

void ConsoleOutput::Note(std::string_view text) {
  if (mode_.json || verbosity_ == Verbosity::kQuiet) return;
  EndProgress();
  // The log's words with one space between them, without its blank lines.
  std::string words;
  for (char c : OneLine(text)) {
    if (c != ' ') {
      words.push_back(c);
    } else if (!words.empty() && words.back() != ' ') {
      words.push_back(' ');
    }
  }
  if (!words.empty() && words.back() == ' ') words.pop_back();
  std::fprintf(stderr, "%s\n", words.c_str());
  std::fflush(stderr);
}

void ConsoleOutput::Progress(int position, std::int64_t totalBytes, std::int64_t nowMs) {
  if (position == lastPosition_) return;
  if (phaseStartMs_ < 0 || position < lastPosition_) {
    phaseStartMs_ = nowMs;
    lastDecile_ = -1;
  }
  lastPosition_ = position;
  std::int64_t bytes = totalBytes * position / 1000;
  std::int64_t elapsedMs = nowMs - phaseStartMs_;
  std::int64_t rate = elapsedMs > 0 ? bytes * 1000 / elapsedMs : 0;
  std::int64_t leftS = rate > 0 ? (totalBytes - bytes) / rate : -1;
  if (mode_.json) {
    WriteJson({{"type", "progress"},
               {"phase", phase_},
               {"permille", position},
               {"bytes", bytes},
               {"total", totalBytes},
               {"bytesPerSecond", rate}});
    return;
  }
  if (verbosity_ == Verbosity::kQuiet) return;
  int percent = position / 10;
  char left[32] = "--:--";
  if (leftS >= 0) {
    std::snprintf(left, sizeof left, "%02lld:%02lld", static_cast<long long>(leftS / 60),
                  static_cast<long long>(leftS % 60));
  }
  if (mode_.progressTerminal) {
    std::string bar(static_cast<std::size_t>(kBarWidth * position / 1000), '#');
    bar.resize(kBarWidth, '.');
    std::fprintf(stderr, "\r%-20.20s [%s] %3d%% %lld/%lld B %lld B/s left %s", phase_.c_str(),
                 bar.c_str(), percent, static_cast<long long>(bytes),
                 static_cast<long long>(totalBytes), static_cast<long long>(rate), left);
    progressLineOpen_ = true;
  } else {
    int decile = percent / 10;
    if (decile == lastDecile_) return;
    lastDecile_ = decile;
    std::fprintf(stderr, "%s %d%% %lld/%lld B %lld B/s left %s\n", phase_.c_str(), percent,
                 static_cast<long long>(bytes), static_cast<long long>(totalBytes),
                 static_cast<long long>(rate), left);
  }
  std::fflush(stderr);
}

void ConsoleOutput::EndProgress() {
  if (!progressLineOpen_) return;
  std::fputc('\n', stderr);
  progressLineOpen_ = false;
}

void ConsoleOutput::Result(const std::string& text, const JsonObject& object) {
  EndProgress();
  if (mode_.json) {
    WriteJson(object);
    return;
  }
  std::fprintf(stdout, "%s\n", text.c_str());
  std::fflush(stdout);
}

}  // namespace rv4410
