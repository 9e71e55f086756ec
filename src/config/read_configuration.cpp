#include "config/read_configuration.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "config/exchange_common.h"
#include "config/parameter_file.h"
#include "config/parameter_line.h"
#include "protocol/command_lines.h"

namespace rv4410 {

namespace {

constexpr std::int64_t kParameterLineTimeoutMs = 5000;
constexpr std::int64_t kFlushLineTimeoutMs = 500;
// A checked line from the unit ends in a separator, its check character and
// the value field; anything shorter cannot carry a check character.
constexpr std::size_t kCheckCharacterDistance = kValueFieldLength + 1;
constexpr std::size_t kCheckedLayoutLength = kValueFieldLength + 2;

// How one exchange ended: with a result, or with a damaged line that calls
// for a restart.
struct ExchangeEnd {
  int result = kReadDone;
  LineFault damage = LineFault::kNone;
};

bool CreateConfigurationFile(RunState& run, ParameterFileWriter& file) {
  if (file.Create(run.settings.configFile)) return true;
  run.log.LogPrintf(kCreateErrorFormat, std::strerror(errno));
  return false;
}

void ReportWriteError(RunState& run) {
  run.log.LogLine(kFileWriteError);
  run.host.ShowMessageBox(
      {kFileWriteError, kIoErrorCaption, BoxIcon::kWarning, BoxButtons::kOk, nullptr});
}

void StoreLine(RunState& run, ParameterFileWriter& file, std::string_view line) {
  if (!file.WriteLine(line)) ReportWriteError(run);
}

// The unit ended its list. Only a list that reached the file whole and holds
// at least one line takes the configuration file's place; anything less
// leaves the file as it was and counts as a failed read.
int FinishList(RunState& run, ParameterFileWriter& file, ConfigurationFileChange& change) {
  if (file.WriteFailed()) {
    run.log.LogPrintf(kListNotWrittenWhole);
    return kReadFileError;
  }
  if (file.Lines() == 0) {
    run.log.LogPrintf(kNoParameterStored);
    return kReadStopped;
  }
  FileReplacement replacement = file.Commit();
  if (!replacement.done) {
    ReportWriteError(run);
    run.log.LogPrintf(kFileNotReplacedFormat, std::strerror(replacement.error));
    return kReadFileError;
  }
  change.replaced = true;
  change.keptAs = replacement.keptAs;
  if (!change.keptAs.empty()) run.log.LogPrintf(kEarlierKeptFormat, change.keptAs.c_str());
  return kReadDone;
}

// The lines of one attempt go to a temporary file of their own, so that a
// restart never mixes two attempts and an attempt that ends early leaves the
// configuration file as it was (the writer removes what it wrote).
ExchangeEnd ReadPlain(RunState& run, ConfigurationFileChange& change) {
  SendLine(run, "RP\r\n");
  run.log.LogPrintf(kReadingConfiguration);
  ParameterFileWriter file;
  if (!CreateConfigurationFile(run, file)) return {kReadFileError};

  ReplyBuffer line{};
  for (;;) {
    int n = ReceiveLine(run, line.data(), kParameterLineTimeoutMs);
    if (run.CancelRequested) return {kReadStopped};
    if (n < 0) return {kReadStopped};
    if (n == 0) {
      run.log.LogPrintf(kDoneReadingParameters);
      return {FinishList(run, file, change)};
    }
    std::string_view text(line.data(), static_cast<std::size_t>(n));
    LineCheck check = CheckParameterLine(text);
    if (!check.Passed()) return {kReadDone, check.fault};
    run.log.LogPrintf(kParameterLineLogFormat, line.data());
    StoreLine(run, file, text);
  }
}

// The parameter text of a checked line: the name part and the value field,
// without the separator and the unit's check character between them.
std::string ParameterText(std::string_view received) {
  if (received.size() < kCheckedLayoutLength) return std::string(received);
  std::string text(received.substr(0, received.size() - kCheckedLayoutLength));
  text += received.substr(received.size() - kValueFieldLength);
  return text;
}

ExchangeEnd ReadChecked(RunState& run, ConfigurationFileChange& change) {
  run.log.LogPrintf(kReadingConfiguration);
  FailureCounter failures;
  ParameterFileWriter file;
  if (!CreateConfigurationFile(run, file)) return {kReadFileError};

  ReplyBuffer line{};
  ReplyBuffer answer{};
  for (;;) {
    int n = ReceiveLine(run, line.data(), kParameterLineTimeoutMs);
    if (run.CancelRequested) return {kReadStopped};
    if (n <= 0) {
      SendLine(run, kEmptyLine);
      return {n == 0 ? FinishList(run, file, change) : kReadStopped};
    }
    std::string_view received(line.data(), static_cast<std::size_t>(n));
    LineCheck check = CheckParameterLine(received);
    if (!check.Passed()) return {kReadDone, check.fault};

    std::string parameterText = ParameterText(received);
    char c = LineCheckCharacter(parameterText);
    // A line too short for the layout has no check character: it fails its check.
    bool valid = received.size() >= kCheckedLayoutLength &&
                 received[received.size() - kCheckCharacterDistance] == c;
    SendLine(run, valid ? kLineReceivedOk : kLineInvalid);
    std::string reported = valid ? parameterText : std::string(received);
    SendLine(run, kCheckedLineFormat, reported.c_str(), c);
    run.log.LogPrintf(kParameterLineLogFormat, reported.c_str());
    if (valid) StoreLine(run, file, parameterText);

    // Whatever the unit answers, the next line is the one it sends next.
    int a = ReceiveLine(run, answer.data(), kLineAnswerTimeoutMs);
    if (!IsOkReply(answer.data(), a)) failures.Note(run, answer.data());
  }
}

// Warns, then empties the link so that the plain exchange starts clean.
void PrepareRestart(RunState& run, LineFault damage) {
  const char* text =
      damage == LineFault::kInvalidCharacter ? kRestartInvalidCharacterText : kRestartBadValueText;
  run.host.ShowMessageBox(
      {text, kParameterTransferErrorCaption, BoxIcon::kWarning, BoxButtons::kOk, nullptr});
  run.log.LogLine(kRestartLogLine);
  SerialPurge(run.link);
  ReplyBuffer line{};
  while (ReceiveLine(run, line.data(), kFlushLineTimeoutMs) > 0) {
  }
}

}  // namespace

int ReadConfiguration(RunState& run, ConfigurationFileChange& change) {
  change = {};
  ReplyBuffer reply{};
  SendLine(run, "RX\r\n");
  int n = ReceiveLine(run, reply.data(), kOfferReplyTimeoutMs);
  if (run.CancelRequested) return kReadStopped;
  ExchangeEnd end;
  if (IsOkReply(reply.data(), n)) {
    end = ReadChecked(run, change);
  } else {
    if (WaitForOk(run, 0) == 1) return kReadStopped;
    end = ReadPlain(run, change);
  }
  while (end.damage != LineFault::kNone) {
    PrepareRestart(run, end.damage);
    // A user who ended the page meanwhile gets no new request.
    if (run.CancelRequested) return kReadStopped;
    end = ReadPlain(run, change);
  }
  return end.result;
}

int ReadConfiguration(RunState& run) {
  ConfigurationFileChange change;
  return ReadConfiguration(run, change);
}

}  // namespace rv4410
