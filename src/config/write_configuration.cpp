#include "config/write_configuration.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "config/exchange_common.h"
#include "config/parameter_file.h"
#include "config/parameter_line.h"
#include "protocol/boxes.h"
#include "protocol/command_lines.h"

namespace rv4410 {

namespace {

// Lines up to this length name no parameter and get no warning when unknown.
constexpr std::size_t kShortLineLength = 3;

// A warning about one line, then `logLine` (the text when empty) in the log.
void Warn(RunState& run, const std::string& text, const char* caption,
          const std::string& logLine = {}) {
  ShowBox(run, {text, caption, BoxIcon::kWarning, BoxButtons::kOk, nullptr}, BoxLine::kAfter,
          logLine);
}

void ShowFileError(RunState& run, const std::string& text) {
  ShowBox(run, {text, kErrorCaption, BoxIcon::kError, BoxButtons::kOk, nullptr}, BoxLine::kBefore);
}

// Tells why the file cannot be sent; false, with `reason` kept for the outcome.
bool ReportUnusableFile(RunState& run, const std::string& path, const std::string& why,
                        std::string& reason) {
  reason = why;
  ShowFileError(run, FormatText(kConfigFileUnusableFormat, path.c_str(), why.c_str()));
  return false;
}

// A line that goes to the unit with a parameter in it; empty, dropped and
// overlong lines carry none.
bool HoldsParameter(FileLine status, const std::string& line) {
  return status == FileLine::kLine && !line.empty() && CheckParameterLine(line).Passed();
}

// Opens the file and reads it to its end once before anything is offered to
// the unit: a file that cannot be read whole, or holds no parameter, would
// leave the unit with a part of its list or none. The lines are not kept:
// the second pass reads them again from the same open file, so a file put
// in its place meanwhile does not matter; one changed in place is read as
// it then is.
bool OpenCheckedFile(RunState& run, const std::string& path, ParameterFileReader& file,
                     std::string& reason) {
  std::error_code ec;
  std::filesystem::file_status status = std::filesystem::status(path, ec);
  // Checked before opening: opening a pipe would wait for a writer.
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    return ReportUnusableFile(run, path, kNotARegularFile, reason);
  }
  if (!file.Open(path)) {
    return ReportUnusableFile(run, path, std::strerror(errno), reason);
  }
  int lines = 0;
  int parameters = 0;
  std::string line;
  for (FileLine got; (got = file.ReadLine(line)) != FileLine::kEnd; ++lines) {
    if (got == FileLine::kReadError) {
      return ReportUnusableFile(
          run, path, FormatText(kReadFailedFormat, lines + 1, std::strerror(file.Error())), reason);
    }
    if (HoldsParameter(got, line)) ++parameters;
  }
  if (parameters == 0) {
    return ReportUnusableFile(run, path, kNoParameterLine, reason);
  }
  if (!file.Rewind()) {
    return ReportUnusableFile(run, path, std::strerror(file.Error()), reason);
  }
  return true;
}

// Offers the checked exchange; `checked` is true when the unit took it.
// Otherwise the handshake and "WP" have started the plain exchange.
Outcome StartExchange(RunState& run, bool& checked) {
  ReplyBuffer reply{};
  SendLine(run, "%s", kCheckedWriteCommand);
  int n = ReceiveLine(run, reply.data(), kOfferReplyTimeoutMs);
  RV4410_TRY(AfterReceive(run, n, kOperationTimedOut));
  checked = IsOkReply(reply.data(), n);
  if (!checked) {
    RV4410_TRY(WaitForOk(run, HandshakeStart::kPlain, kStepBeforePlainWrite));
    SendLine(run, "%s", kPlainWriteCommand);
  }
  run.log.LogStep(kWritingConfiguration);
  return Outcome::Ok();
}

// Names the character at `position` that makes `line` no parameter line.
void DropLine(RunState& run, const std::string& line, std::size_t position) {
  auto code = static_cast<unsigned char>(line[position]);
  // A zero byte would end the message text early; its code still names it.
  char shown = code == 0 ? '?' : static_cast<char>(code);
  std::string text = FormatText(kIgnoringParameterFormat, line.c_str(), shown,
                                static_cast<int>(code), static_cast<int>(position));
  Warn(run, text, kParameterCharacterErrorCaption);
}

// `start` holds the first 254 characters of a longer line. A character
// outside the set there (say, the carriage returns of a file with CR-only
// line ends) says more about the trouble than the length does.
void DropTooLongLine(RunState& run, const std::string& start) {
  LineCheck check = CheckParameterLine(start);
  if (check.fault == LineFault::kInvalidCharacter) {
    DropLine(run, start, check.position);
    return;
  }
  std::string text =
      FormatText(kLineTooLongFormat, start.c_str(), static_cast<int>(kParameterLineLimit));
  Warn(run, text, kParameterCharacterErrorCaption);
}

// The form check, the lookup and the limit rule. False when the line is
// dropped; otherwise `line` is what goes to the unit.
bool PrepareLine(RunState& run, std::string& line, WriteCounts& counts) {
  LineCheck check = CheckParameterLine(line);
  if (!check.Passed()) {
    DropLine(run, line, check.position);
    ++counts.dropped;
    return false;
  }

  const ParameterEntry* entry = FindParameter(line);
  if (entry == nullptr) {
    if (line.size() > kShortLineLength) {
      Warn(run, line, kParameterNameNotFound, kParameterNameNotFound + line);
    }
    return true;
  }
  if (!entry->HasLimits()) return true;
  std::int32_t value = ParseParameterValue(line);
  if (entry->Accepts(value)) return true;
  std::string name(entry->Name());
  std::string text = FormatText(kValueChangedFormat, name.c_str(), value, entry->minimum);
  Warn(run, text, kParameterValueErrorCaption);
  line = LimitReplacementLine(*entry);
  ++counts.changed;
  return true;
}

void SendPlain(RunState& run, const std::string& line) {
  SendLine(run, "%s\r\n", line.c_str());
  run.log.LogPrintf(kParameterLineLogFormat, line.c_str());
}

Outcome SendChecked(RunState& run, const std::string& line, FailureCounter& failures) {
  const char c = LineCheckCharacter(line);
  ReplyBuffer answer{};
  for (;;) {
    SendLine(run, kCheckedLineFormat, line.c_str(), c);
    run.log.LogPrintf(kParameterLineLogFormat, line.c_str());
    int n = ReceiveLine(run, answer.data(), kLineAnswerTimeoutMs);
    RV4410_TRY(AfterReceive(run, n, kOperationTimedOut));
    if (IsOkReply(answer.data(), n)) return Outcome::Ok();
    // The counter is shared by all lines; its round may end on this line.
    if (failures.Note(run, answer.data())) return Outcome::Ok();
  }
}

}  // namespace

Outcome WriteConfiguration(RunState& run, const std::string& path, WriteCounts& counts) {
  // Checked before saying anything to the unit: an offer followed by an
  // empty list could leave the unit with no configuration at all.
  ParameterFileReader file;
  std::string unusable;
  if (!OpenCheckedFile(run, path, file, unusable)) {
    Outcome refused = Outcome::StaysOpen(Ending::kFileRefused);
    refused.reason = unusable;
    return refused;
  }
  run.log.LogPrintf(kConfigurationReadFromFormat, path.c_str());
  bool checked = false;
  RV4410_TRY(StartExchange(run, checked));
  FailureCounter failures;
  Outcome sent = Outcome::Ok();
  std::string line;
  for (int number = 1;; ++number) {
    // A page ended or a line gone: the rest of the file is not worked through.
    RV4410_TRY(Interrupted(run, kOperationTimedOut));
    FileLine status = file.ReadLine(line);
    if (status == FileLine::kEnd) break;
    if (status == FileLine::kReadError) {
      // Read whole a moment ago: the list ends here, and the user is told.
      ShowFileError(run, FormatText(kReadFailedWhileSendingFormat, path.c_str(), number,
                                    std::strerror(file.Error())));
      sent = Outcome::StaysOpen(Ending::kIncomplete);
      break;
    }
    if (status == FileLine::kTooLong) {
      DropTooLongLine(run, line);
      ++counts.dropped;
      continue;
    }
    if (!PrepareLine(run, line, counts)) continue;
    if (checked) {
      RV4410_TRY(SendChecked(run, line, failures));
    } else {
      SendPlain(run, line);
    }
  }
  SendLine(run, kEmptyLine);
  file.Close();
  return sent;
}

Outcome WriteConfiguration(RunState& run, const std::string& path) {
  WriteCounts counts;
  return WriteConfiguration(run, path, counts);
}

Outcome WriteConfiguration(RunState& run, WriteCounts& counts) {
  return WriteConfiguration(run, run.settings.configFile, counts);
}

Outcome WriteConfiguration(RunState& run) {
  WriteCounts counts;
  return WriteConfiguration(run, counts);
}

Outcome WriteEmptyConfiguration(RunState& run) {
  bool checked = false;
  RV4410_TRY(StartExchange(run, checked));
  SendLine(run, kEmptyLine);
  return Outcome::Ok();
}

}  // namespace rv4410
