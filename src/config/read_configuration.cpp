#include "config/read_configuration.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "config/exchange_common.h"
#include "config/parameter_file.h"
#include "config/parameter_line.h"
#include "config/pending_restore.h"
#include "protocol/boxes.h"
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

// How one exchange ended: with an outcome, or with a damaged line that calls
// for a restart.
struct ExchangeEnd {
  // Not explicit: a step's outcome is how the exchange ended.
  ExchangeEnd(Outcome how = {}, LineFault fault = LineFault::kNone)
      : outcome(std::move(how)), damage(fault) {}
  Outcome outcome;
  LineFault damage;
};

// A failed read: the page asks the one question of every failed read.
Outcome Failed(Ending ending) {
  return Outcome::Asks(ending, kProblemReadingConfiguration);
}

// A receive of the read that gave no line: the user's stop, the line gone,
// or 5000 ms of silence.
Outcome NoParameterLine(RunState& run) {
  return NoLine(run, kProblemReadingConfiguration);
}

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
  ShowBox(run, {kFileWriteError, kIoErrorCaption, BoxIcon::kWarning, BoxButtons::kOk, nullptr},
          BoxLine::kBefore);
}

void StoreLine(RunState& run, ParameterFileWriter& file, std::string_view line) {
  if (!file.WriteLine(line)) ReportWriteError(run);
}

// The unit ended its list: it counts only when every line it sent that
// passed its check reached the file.
Outcome EndList(RunState& run, ReadList& list, int unitLines) {
  list.unitLines = unitLines;
  if (!list.file.WriteFailed()) return Outcome::Ok();
  run.log.LogPrintf(kListNotWrittenWhole);
  list.file.Discard();
  return Failed(Ending::kStopped);
}

// The lines of one attempt go to a temporary file of their own, so that a
// restart never mixes two attempts and an attempt that ends early leaves the
// configuration file as it was (the writer removes what it wrote).
ExchangeEnd ReadPlain(RunState& run, ReadList& list) {
  SendLine(run, "%s", kPlainReadCommand);
  run.log.LogStep(kReadingConfiguration);
  if (!CreateConfigurationFile(run, list.file)) return {Failed(Ending::kStopped)};

  ReplyBuffer line{};
  for (int received = 0;; ++received) {
    int n = ReceiveLine(run, line.data(), kParameterLineTimeoutMs);
    if (run.CancelRequested || n < 0) return {NoParameterLine(run)};
    if (n == 0) {
      run.log.LogPrintf(kDoneReadingParameters);
      return {EndList(run, list, received)};
    }
    std::string_view text(line.data(), static_cast<std::size_t>(n));
    LineCheck check = CheckParameterLine(text);
    if (!check.Passed()) return {Outcome::Ok(), check.fault};
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
  run.log.LogStep(kReadingConfiguration);
  FailureCounter failures;
  if (!CreateConfigurationFile(run, list.file)) return {Failed(Ending::kStopped)};

  ReplyBuffer line{};
  ReplyBuffer answer{};
  for (int received = 0;; ++received) {
    int n = ReceiveLine(run, line.data(), kParameterLineTimeoutMs);
    RV4410_TRY(AfterReceive(run, n, kProblemReadingConfiguration));
    if (n <= 0) {
      SendLine(run, kEmptyLine);
      return {n == 0 ? EndList(run, list, received) : NoParameterLine(run)};
    }
    std::string_view receivedLine(line.data(), static_cast<std::size_t>(n));
    LineCheck check = CheckParameterLine(receivedLine);
    if (!check.Passed()) return {Outcome::Ok(), check.fault};

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
    RV4410_TRY(AfterReceive(run, a, kProblemReadingConfiguration));
    if (!IsOkReply(answer.data(), a)) failures.Note(run, answer.data());
  }
}

// Warns, then empties the link so that the plain exchange starts clean.
void PrepareRestart(RunState& run, LineFault damage) {
  const char* text =
      damage == LineFault::kInvalidCharacter ? kRestartInvalidCharacterText : kRestartBadValueText;
  ShowBox(run, {text, kParameterTransferErrorCaption, BoxIcon::kWarning, BoxButtons::kOk, nullptr},
          BoxLine::kAfter, kRestartLogLine);
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

Outcome PutReadListInPlace(RunState& run, ReadList& list, ConfigurationFileChange& change) {
  if (list.file.Lines() == 0) {
    run.log.LogPrintf(kNoParameterStored);
    change.unitListEmpty = list.unitLines == 0;
    list.file.Discard();
    return Failed(Ending::kStopped);
  }
  FileReplacement replacement = list.file.Commit(ReplaceRules(run));
  if (replacement.refused) {
    ReportPendingRestoreKept(run, list.file.Target());
    return Failed(Ending::kStopped);
  }
  if (!replacement.done) {
    ReportWriteError(run);
    run.log.LogPrintf(replacement.busy ? kFileBusyFormat : kFileNotReplacedFormat,
                      std::strerror(replacement.error));
    return Failed(Ending::kStopped);
  }
  change.replaced = true;
  change.keptAs = replacement.keptAs;
  run.log.LogPrintf(kConfigurationWrittenToFormat, list.file.Target().c_str());
  if (!change.keptAs.empty()) run.log.LogPrintf(kEarlierKeptFormat, change.keptAs.c_str());
  return Outcome::Ok();
}

CommitRules ReplaceRules(RunState& run) {
  std::int64_t deadline = run.host.TickCount() + kFileTurnWaitMs;
  return {[&run, deadline] { return WaitForFileTurn(run, deadline); },
          [](const std::string& target) { return !PendingRestoreExists(target); }};
}

// The restarts after damaged lines: none once the run's wait limit has
// passed since the first (never in the wizard, where the user ends them).
class RestartLimit {
 public:
  explicit RestartLimit(RunState& run) : run_(run) {}
  bool Passed() {
    if (run_.waitLimitMs <= 0) return false;
    std::int64_t now = run_.host.TickCount();
    if (deadline_ == 0) deadline_ = now + run_.waitLimitMs;
    return now >= deadline_;
  }
  Outcome RanOut() const {
    Outcome outcome = Failed(Ending::kUnitError);
    outcome.message =
        FormatText(kRestartsRanOutFormat, static_cast<long long>(run_.waitLimitMs / 1000));
    return outcome;
  }

 private:
  RunState& run_;
  std::int64_t deadline_ = 0;
};

Outcome ReadConfigurationList(RunState& run, ReadList& list) {
  ReplyBuffer reply{};
  SendLine(run, "%s", kCheckedReadCommand);
  int n = ReceiveLine(run, reply.data(), kOfferReplyTimeoutMs);
  RV4410_TRY(AfterReceive(run, n, kProblemReadingConfiguration));
  ExchangeEnd end;
  if (IsOkReply(reply.data(), n)) {
    end = ReadChecked(run, list);
  } else {
    RV4410_TRY(WaitForOk(run, HandshakeStart::kPlain, kStepBeforePlainRead)
                   .Asking(kProblemReadingConfiguration));
    end = ReadPlain(run, list);
  }
  RestartLimit restarts(run);
  while (end.damage != LineFault::kNone) {
    if (restarts.Passed()) {
      list.file.Discard();
      return restarts.RanOut();
    }
    PrepareRestart(run, end.damage);
    // A user who ended the page meanwhile gets no new request.
    if (run.CancelRequested) return Outcome::StoppedByUser();
    end = ReadPlain(run, list);
  }
  if (!end.outcome.Done()) list.file.Discard();
  return end.outcome;
}

Outcome ReadConfiguration(RunState& run, ConfigurationFileChange& change) {
  change = {};
  ReadList list;
  RV4410_TRY(ReadConfigurationList(run, list));
  return PutReadListInPlace(run, list, change);
}

Outcome ReadConfiguration(RunState& run) {
  ConfigurationFileChange change;
  return ReadConfiguration(run, change);
}

}  // namespace rv4410
