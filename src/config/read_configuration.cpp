#include "config/read_configuration.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "config/exchange_common.h"
#include "config/parameter_file.h"
#include "config/parameter_line.h"
#include "config/pending_restore.h"
#include "protocol/command_lines.h"

namespace rv4410 {

namespace {

constexpr std::int64_t kParameterLineTimeoutMs = 5000;
constexpr std::int64_t kFlushLineTimeoutMs = 500;
// Another run replacing the same file holds it for a moment; the list waits
// for its turn this long, trying again this often, before it gives up.
constexpr std::int64_t kFileTurnWaitMs = 10000;
constexpr std::int64_t kFileTurnRetryMs = 20;
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
  bool created = file.Create(run.settings.configFile);
  int error = errno;
  for (const LeftoverFile& leftover : file.Leftovers()) {
    run.log.LogPrintf(leftover.removed ? kLeftoverRemovedFormat : kLeftoverInUseFormat,
                      leftover.path.c_str());
  }
  if (created) return true;
  run.log.LogPrintf(kCreateErrorFormat, std::strerror(error));
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

// The unit ended its list: it counts only when every line it sent that
// passed its check reached the file.
int EndList(RunState& run, ReadList& list, int unitLines) {
  list.unitLines = unitLines;
  if (!list.file.WriteFailed()) return kReadDone;
  run.log.LogPrintf(kListNotWrittenWhole);
  list.file.Discard();
  return kReadFileError;
}

// The lines of one attempt go to a temporary file of their own, so that a
// restart never mixes two attempts and an attempt that ends early leaves the
// configuration file as it was (the writer removes what it wrote).
ExchangeEnd ReadPlain(RunState& run, ReadList& list) {
  SendLine(run, "RP\r\n");
  run.log.LogPrintf(kReadingConfiguration);
  if (!CreateConfigurationFile(run, list.file)) return {kReadFileError};

  ReplyBuffer line{};
  for (int received = 0;; ++received) {
    int n = ReceiveLine(run, line.data(), kParameterLineTimeoutMs);
    if (run.CancelRequested) return {kReadStopped};
    if (n < 0) return {kReadStopped};
    if (n == 0) {
      run.log.LogPrintf(kDoneReadingParameters);
      return {EndList(run, list, received)};
    }
    std::string_view text(line.data(), static_cast<std::size_t>(n));
    LineCheck check = CheckParameterLine(text);
    if (!check.Passed()) return {kReadDone, check.fault};
    run.log.LogPrintf(kParameterLineLogFormat, line.data());
    StoreLine(run, list.file, text);
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

ExchangeEnd ReadChecked(RunState& run, ReadList& list) {
  run.log.LogPrintf(kReadingConfiguration);
  FailureCounter failures;
  if (!CreateConfigurationFile(run, list.file)) return {kReadFileError};

  ReplyBuffer line{};
  ReplyBuffer answer{};
  for (int received = 0;; ++received) {
    int n = ReceiveLine(run, line.data(), kParameterLineTimeoutMs);
    if (run.CancelRequested) return {kReadStopped};
    if (n <= 0) {
      SendLine(run, kEmptyLine);
      return {n == 0 ? EndList(run, list, received) : kReadStopped};
    }
    std::string_view receivedLine(line.data(), static_cast<std::size_t>(n));
    LineCheck check = CheckParameterLine(receivedLine);
    if (!check.Passed()) return {kReadDone, check.fault};

    std::string parameterText = ParameterText(receivedLine);
    char c = LineCheckCharacter(parameterText);
    // A line too short for the layout has no check character: it fails its check.
    bool valid = receivedLine.size() >= kCheckedLayoutLength &&
                 receivedLine[receivedLine.size() - kCheckCharacterDistance] == c;
    SendLine(run, valid ? kLineReceivedOk : kLineInvalid);
    std::string reported = valid ? parameterText : std::string(receivedLine);
    SendLine(run, kCheckedLineFormat, reported.c_str(), c);
    run.log.LogPrintf(kParameterLineLogFormat, reported.c_str());
    if (valid) StoreLine(run, list.file, parameterText);

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

// While another run replaces the same file, the list waits its turn with
// the window alive.
bool WaitForFileTurn(RunState& run, std::int64_t deadline) {
  std::int64_t now = run.host.TickCount();
  if (now >= deadline) return false;
  run.host.WaitForEvent(std::min(deadline, now + kFileTurnRetryMs));
  return true;
}

// The unit's list takes the configuration file's place: only a list that
// holds at least one line, and never over a list still waiting to be
// written back to a unit.
}  // namespace

int PutReadListInPlace(RunState& run, ReadList& list, ConfigurationFileChange& change) {
  if (list.file.Lines() == 0) {
    run.log.LogPrintf(kNoParameterStored);
    change.unitListEmpty = list.unitLines == 0;
    list.file.Discard();
    return kReadStopped;
  }
  FileReplacement replacement = list.file.Commit(ReplaceRules(run));
  if (replacement.refused) {
    ReportPendingRestoreKept(run, list.file.Target());
    return kReadFileError;
  }
  if (!replacement.done) {
    ReportWriteError(run);
    run.log.LogPrintf(replacement.busy ? kFileBusyFormat : kFileNotReplacedFormat,
                      std::strerror(replacement.error));
    return kReadFileError;
  }
  change.replaced = true;
  change.keptAs = replacement.keptAs;
  if (!change.keptAs.empty()) run.log.LogPrintf(kEarlierKeptFormat, change.keptAs.c_str());
  return kReadDone;
}

CommitRules ReplaceRules(RunState& run) {
  std::int64_t deadline = run.host.TickCount() + kFileTurnWaitMs;
  return {[&run, deadline] { return WaitForFileTurn(run, deadline); },
          [](const std::string& target) { return !PendingRestoreExists(target); }};
}

int ReadConfigurationList(RunState& run, ReadList& list) {
  ReplyBuffer reply{};
  SendLine(run, "RX\r\n");
  int n = ReceiveLine(run, reply.data(), kOfferReplyTimeoutMs);
  if (run.CancelRequested) return kReadStopped;
  ExchangeEnd end;
  if (IsOkReply(reply.data(), n)) {
    end = ReadChecked(run, list);
  } else {
    if (WaitForOk(run, 0) == 1) return kReadStopped;
    end = ReadPlain(run, list);
  }
  while (end.damage != LineFault::kNone) {
    PrepareRestart(run, end.damage);
    // A user who ended the page meanwhile gets no new request.
    if (run.CancelRequested) return kReadStopped;
    end = ReadPlain(run, list);
  }
  if (end.result != kReadDone) list.file.Discard();
  return end.result;
}

int ReadConfiguration(RunState& run, ConfigurationFileChange& change) {
  change = {};
  ReadList list;
  int result = ReadConfigurationList(run, list);
  if (result != kReadDone) return result;
  return PutReadListInPlace(run, list, change);
}

int ReadConfiguration(RunState& run) {
  ConfigurationFileChange change;
  return ReadConfiguration(run, change);
}

}  // namespace rv4410
