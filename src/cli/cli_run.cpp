#include "cli/cli_run.h"

#include <cstdio>

#include "cli/console_pages.h"
#include "platform/format.h"
#include "platform/port_names.h"
#include "platform/stop_request.h"
#include "protocol/command_lines.h"
#include "protocol/page_results.h"
#include "protocol/port_problem.h"
#include "uploads/loader_state.h"
#include "uploads/map_upload.h"
#include "uploads/program_upload.h"

namespace rv4410 {

namespace {

inline constexpr const char* kNotIdentified = "The unit answered but did not identify itself.";
inline constexpr const char* kDoneResult = "Done.";
inline constexpr const char* kFailedResultPrefix = "Failed: ";
inline constexpr const char* kNoDevices = "No serial devices found.";
// The phase before the transfer page's own: the waiting page looks for the unit.
inline constexpr const char* kPhaseFindingUnit = "finding unit";

// "free" where the diagnosis found nothing in the way.
const char* StateName(PortState state) {
  return state == PortState::kFound ? "free" : PortStateWord(state);
}

int ListPorts(ConsoleHost& host, ConsoleOutput& output) {
  std::vector<ListedPort> rows = ListSerialPorts();
  if (rows.empty()) output.Result(kNoDevices, {{"type", "ports"}, {"count", 0}});
  for (const ListedPort& row : rows) {
    PortDiagnosis diagnosis = host.DiagnosePort(row.path);
    std::string state = StateName(diagnosis.state);
    if (diagnosis.state == PortState::kInUse && diagnosis.holder) {
      state +=
          " by " +
          (diagnosis.holder->program.empty() ? std::string("process") : diagnosis.holder->program) +
          " (" + std::to_string(diagnosis.holder->pid) + ")";
    }
    std::string vidPid = row.vidPid.empty() ? std::string("-") : row.vidPid;
    std::string text = (row.com.empty() ? std::string("-") : row.com) + "\t" + row.path + "\t" +
                       row.description + "\t" + row.manufacturer + "\t" + vidPid + "\t" +
                       row.serialNumber + "\t" + state;
    output.Result(text, {{"type", "port"},
                         {"com", row.com},
                         {"path", row.path},
                         {"description", row.description},
                         {"manufacturer", row.manufacturer},
                         {"vidPid", vidPid},
                         {"serialNumber", row.serialNumber},
                         {"state", state}});
  }
  return kExitDone;
}

LoaderFunction FunctionOf(CliCommand command) {
  switch (command) {
    case CliCommand::kWriteProgram:
      return kWriteProgram;
    case CliCommand::kWriteConfig:
      return kWriteConfiguration;
    case CliCommand::kWriteMap:
      return kWriteMap;
    default:
      break;
  }
  return kReadConfiguration;
}

// One command on one port: the pages of the wizard in its order. The exit
// code follows from how each page's work ended (and the page's result),
// never from a text the run showed.
class CommandRun {
 public:
  CommandRun(const CliOptions& options, Host& platform, ConsoleOutput& output)
      : options_(options),
        output_(output),
        host_(platform, options.rules, output),
        state_(host_, options.logFile.empty() ? std::string(kLogFileName) : options.logFile),
        logWindow_(output) {
    RunState& run = state_.run;
    run.settings.portName = options.ports.front();
    run.settings.baudRate = options.baud;
    run.settings.function = FunctionOf(options.command);
    // No one is there to end a wait: --wait bounds every wait only a user would end.
    run.waitLimitMs = std::int64_t{options.waitSeconds} * 1000;
  }

  int Run();

 private:
  RunState& RunOf() { return state_.run; }
  const RunState& RunOf() const { return state_.run; }
  // The port would not open: the reason to the log and to standard error.
  int PortNotOpened();
  // A failure with words the log has had: standard error hears them too.
  void TellProblem(const Outcome& outcome);
  int Setup();
  int Identify();
  int Transfer(bool& again);

  const CliOptions& options_;
  ConsoleOutput& output_;
  ConsoleHost host_;
  LoaderState state_;
  ConsoleLogWindow logWindow_;
  StopRequest stop_;
};

int CommandRun::PortNotOpened() {
  std::string reason = host_.DescribePortProblem(RunOf().settings.portName);
  if (!reason.empty()) {
    RunOf().log.LogLine(reason);
    output_.Problem(reason);
  }
  return kExitPortNotOpened;
}

void CommandRun::TellProblem(const Outcome& outcome) {
  if (!outcome.message.empty()) output_.Problem(outcome.message);
}

int CommandRun::Setup() {
  // The setup page's Next: the files read and checked, the port opened.
  state_.savedConfiguration.BeginUnit();
  SetupChoice choice;
  choice.function = RunOf().settings.function;
  if (options_.command == CliCommand::kWriteProgram) {
    choice.programFile = options_.file;
    choice.configFile = options_.configFile;
  } else if (options_.command == CliCommand::kWriteMap) {
    choice.mapFile = options_.file;
  } else {
    choice.configFile = options_.file;
  }
  ConsoleSetupPage page(RunOf(), state_.files, choice);
  int result = DoSetup(RunOf(), page);
  if (stop_.Arrived()) return kExitInterrupted;
  if (result == kPageNext) return kExitDone;
  if (page.Next() == NextOutcome::kPortNotOpened) {
    // The page logged why the port will not open; standard error hears it too.
    std::string reason = host_.DescribePortProblem(RunOf().settings.portName);
    if (!reason.empty()) output_.Problem(reason);
    return kExitPortNotOpened;
  }
  return kExitFileRefused;
}

int CommandRun::Transfer(bool& again) {
  again = false;
  RunState& run = RunOf();
  ConsoleWaitingPage waiting(run, RequirementOf(state_.files.mapHeader));
  output_.Phase(kPhaseFindingUnit);
  host_.OnStop([&waiting] { waiting.Interrupt(); });
  int result = DoWaiting(run, waiting);
  host_.OnStop(nullptr);
  if (stop_.Arrived()) return kExitInterrupted;
  if (result != kPageNext) {
    const Outcome& detection = waiting.PageOutcome();
    TellProblem(detection);
    int code = ExitCodeFor(detection.ending, RunStage::kFindingUnit);
    return code == kExitPortNotOpened ? PortNotOpened() : code;
  }
  if (options_.command == CliCommand::kIdentify) return Identify();

  ConsoleTransferPage transfer(state_, output_, logWindow_);
  host_.OnStop([&transfer] { transfer.Interrupt(); });
  result = DoTransfer(state_, transfer);
  host_.OnStop(nullptr);
  // The page's log control goes with the page; the console's stays.
  run.log.LogWindowAttach(&logWindow_);
  if (stop_.Arrived()) return kExitInterrupted;
  const Outcome& operation = transfer.PageOutcome();
  TellProblem(operation);
  // "Try again?" answered Yes: the page asks for the unit to be found again.
  if (result == kPageTryAgain && !operation.WentThrough()) {
    again = true;
    return kExitFailed;
  }
  int code = ExitCodeFor(operation.ending, RunStage::kOperation);
  // A unit that did not identify itself is not reset by the loader: the
  // log asks the technician to, and so does the terminal.
  bool resetByHand =
      options_.command == CliCommand::kWriteConfig || options_.command == CliCommand::kWriteProgram;
  if (code == kExitDone && resetByHand && !run.UnitInfoValid) output_.Note(kUnitNeedsReset);
  return code == kExitPortNotOpened ? PortNotOpened() : code;
}

int CommandRun::Identify() {
  RunState& run = RunOf();
  if (!run.UnitInfoValid) {
    output_.Problem(kNotIdentified);
    return kExitFailed;
  }
  const UnitInfo& info = run.unitInfo;
  std::uint32_t free =
      info.MapAreaEnd() >= info.MapAreaStart() ? info.MapAreaEnd() - info.MapAreaStart() : 0;
  char text[256];
  std::snprintf(text, sizeof text,
                "map area start 0x%08X\nmap area end   0x%08X\nmap base       0x%08X\n"
                "feature flags  0x%08X\ncheck          0x%08X\nfree map memory %u bytes",
                info.MapAreaStart(), info.MapAreaEnd(), info.MapBase(), info.FeatureFlags(),
                info.Check(), free);
  output_.Result(text, {{"type", "identification"},
                        {"mapAreaStart", info.MapAreaStart()},
                        {"mapAreaEnd", info.MapAreaEnd()},
                        {"mapBase", info.MapBase()},
                        {"featureFlags", info.FeatureFlags()},
                        {"check", info.Check()},
                        {"freeMapMemory", free}});
  return kExitDone;
}

int CommandRun::Run() {
  RunState& run = RunOf();
  if (options_.command == CliCommand::kPorts) return ListPorts(host_, output_);
  IoBufferAlloc(run.link);
  run.log.LogOpen();
  run.log.LogBanner();
  run.log.LogWindowAttach(&logWindow_);
  int code = options_.command == CliCommand::kIdentify ? kExitDone : Setup();
  bool again = code == kExitDone;
  while (again) code = Transfer(again);
  SerialClose(run.link);
  run.log.LogWindowDetach();
  run.log.LogClose();
  IoBufferFree(run.link);
  return code;
}

}  // namespace

int ExitCodeFor(Ending ending, RunStage stage) {
  switch (ending) {
    case Ending::kDone:
      return stage == RunStage::kOperation ? kExitDone : kExitFailed;
    case Ending::kCancelled:
      return kExitInterrupted;
    case Ending::kNoPort:
      return kExitPortNotOpened;
    case Ending::kFileRefused:
      return kExitFileRefused;
    case Ending::kNoAnswer:
      // A unit that was never found is no unit; one that stops answering
      // inside an operation fails it.
      return stage == RunStage::kFindingUnit ? kExitNoUnit : kExitFailed;
    case Ending::kLineGone:
    case Ending::kUnitError:
    case Ending::kStopped:
    case Ending::kIncomplete:
      break;
  }
  return kExitFailed;
}

const char* ExitMeaning(int code) {
  switch (code) {
    case kExitDone:
      return "done";
    case kExitFailed:
      return "the operation failed";
    case kExitUsage:
      return "usage";
    case kExitPortNotOpened:
      return "the port could not be opened";
    case kExitFileRefused:
      return "an input file was refused";
    case kExitNoUnit:
      return "no unit answered";
    case kExitInterrupted:
      return "interrupted";
    default:
      break;
  }
  return "unknown";
}

int RunCommand(const CliOptions& options, Host& platform) {
  ConsoleOutput output(options.output, options.verbosity);
  CommandRun run(options, platform, output);
  int code = run.Run();
  if (options.command == CliCommand::kPorts) return code;
  // The result is said at every level.
  output.Result(
      code == kExitDone ? kDoneResult : std::string(kFailedResultPrefix) + ExitMeaning(code),
      {{"type", "result"},
       {"port", options.ports.front()},
       {"exit", code},
       {"meaning", ExitMeaning(code)}});
  return code;
}

}  // namespace rv4410
