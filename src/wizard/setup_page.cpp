#include "wizard/setup_page.h"

#include "config/pending_restore.h"
#include "datafiles/default_files.h"
#include "datafiles/map_file.h"
#include "datafiles/program_file.h"
#include "platform/format.h"
#include "platform/system_calls.h"
#include "protocol/boxes.h"
#include "protocol/page_results.h"
#include "protocol/port_problem.h"

namespace rv4410 {

namespace {

constexpr int kFunctionButtons[] = {kWriteProgram, kReadConfiguration, kWriteConfiguration,
                                    kWriteMap};
// Next reads the function from the buttons in this order; the first checked wins.
constexpr LoaderFunction kNextOrder[] = {kWriteProgram, kWriteMap, kReadConfiguration,
                                         kWriteConfiguration};

bool IsFunctionButton(int command) {
  for (int button : kFunctionButtons) {
    if (button == command) return true;
  }
  return false;
}

void SelectFunction(SetupPage& page, int button) {
  page.CheckRadioButton(button);
  SetupEnabling enabling = EnablingFor(static_cast<LoaderFunction>(button));
  page.EnableControl(kSetupProgramField, enabling.program);
  page.EnableControl(kSetupProgramFind, enabling.program);
  page.EnableControl(kSetupConfigField, enabling.config);
  page.EnableControl(kSetupConfigFind, enabling.config);
  page.EnableControl(kSetupMapField, enabling.map);
  page.EnableControl(kSetupMapFind, enabling.map);
}

// A "Find ..." button: a cancelled dialog leaves the field as it was.
void FindInto(RunState& run, SetupPage& page, int field, const std::vector<FileFilter>& filters) {
  std::string path;
  if (ChooseFile(run.host, page.Window(), filters, path)) page.SetFieldText(field, path);
}

// `box`, owned by the page, then its text logged.
void ShowAndLog(RunState& run, SetupPage& page, MessageBoxRequest box) {
  box.owner = page.Window();
  ShowBox(run, box);
}

// The page's own failure: an error box, then the same text logged. Always
// false, so that a check reads `return Refuse(...)`. A run being stopped
// fails its check for that reason alone: nothing is said.
bool Refuse(RunState& run, SetupPage& page, const std::string& text) {
  if (run.host.StopRequested()) return false;
  ShowAndLog(run, page, {text, kErrorCaption, BoxIcon::kError});
  return false;
}

// A file reader's refusal, told as the reader itself once told it: its box
// owned by the page and its text logged after it, or before it where the
// reader logged first. A refusal without a caption is a line in the log, one
// without a text says nothing.
void Tell(RunState& run, SetupPage& page, const FileRefusal& refusal) {
  if (refusal.text.empty()) return;
  if (refusal.caption == nullptr) {
    run.log.LogLine(refusal.text);
    return;
  }
  MessageBoxRequest box{refusal.text, refusal.caption, refusal.icon};
  if (!refusal.loggedFirst) {
    ShowAndLog(run, page, box);
    return;
  }
  box.owner = page.Window();
  ShowBox(run, box, BoxLine::kBefore);
}

// A refused file's plain words, after the boxes that told of it.
void Explain(RunState& run, const FileRefusal& refusal) {
  if (!refusal.plain.empty()) run.log.LogLine(refusal.plain);
}

// The validity dates between the map's header and its data: the range,
// then each warning due, until one is answered with Cancel.
bool DatesAccepted(RunState& run, SetupPage& page, const MapHeader& header) {
  MapDates dates = MapDatesFor(header, run.host.WallClock());
  ShowAndLog(run, page, dates.range);
  for (MessageBoxRequest& warning : dates.warnings) {
    warning.owner = page.Window();
    if (ShowBox(run, warning) != BoxAnswer::kOk) return false;
  }
  return true;
}

// The map file read with its dates asked about between the reader's two steps.
ImageRead ReadMapFile(RunState& run, DataFiles& files, SetupPage& page, const char* path) {
  MapFileReader reader(run.host, files, path);
  if (std::optional<FileRefusal> refusal = reader.ReadHeader()) return *refusal;
  if (!DatesAccepted(run, page, files.mapHeader)) {
    return Explained(QuietRefusal(RefusalReason::kDatesDeclined), kDatesDeclinedPlain);
  }
  return reader.ReadRest();
}

// A name longer than a path may be is refused whole, never cut into another.
bool CheckPathLength(RunState& run, SetupPage& page, const std::string& name) {
  if (PathFits(name)) return true;
  return Refuse(run, page, PathTooLongText(name));
}

// The configuration file is written later, by the read of the unit's
// configuration, which replaces it in one step. Emptying it here would
// destroy a file the user picked before the unit has even been found; prove
// instead that it can be written, changing nothing.
bool CheckConfigWritable(RunState& run, SetupPage& page) {
  const std::string& name = run.settings.configFile;
  if (!CheckPathLength(run, page, name)) return false;
  if (ProveFileWritable(name)) return true;
  return Refuse(run, page, FormatText(kCouldNotCreateFormat, name.c_str()));
}

// A list that a program upload still owes a unit is not read over: the
// technician hears it before the unit is looked for.
bool CheckNoRestorePending(RunState& run, SetupPage& page) {
  const std::string& name = run.settings.configFile;
  if (!PendingRestoreExists(name)) return true;
  return Refuse(run, page, FormatText(kPendingRestoreKeptFormat, name.c_str()));
}

bool CheckProgram(RunState& run, DataFiles& files, SetupPage& page) {
  if (!CheckPathLength(run, page, run.settings.programFile)) return false;
  const char* name = run.settings.programFile.c_str();
  run.log.LogLine(kReadProgramFileLog);
  run.log.LogLine(name);
  ImageRead read = ReadProgramFile(run.host, files.loadedImage, name);
  files.loadedImage.length = read.length;
  if (!read.Taken()) {
    Tell(run, page, *read.refusal);
    Refuse(run, page, FormatText(kCouldNotOpenProgramFormat, name));
    Explain(run, *read.refusal);
    return false;
  }
  if (!read.note.empty()) run.log.LogLine(read.note);
  if (read.length < kMinimumProgramLength || !files.loadedImage.HasBuffer()) {
    Refuse(run, page, FormatText(kProgramFileErrorFormat, name));
    run.log.LogLine(FormatText(kShortImagePlainFormat, read.length, kMinimumProgramLength));
    return false;
  }
  // A refused check is told in its own words alone.
  if (std::optional<FileRefusal> refusal = CheckProgramImage(files.loadedImage, name)) {
    Tell(run, page, *refusal);
    Explain(run, *refusal);
    return false;
  }
  return CheckConfigWritable(run, page);
}

bool CheckMap(RunState& run, DataFiles& files, SetupPage& page) {
  if (!CheckPathLength(run, page, run.settings.mapFile)) return false;
  const char* name = run.settings.mapFile.c_str();
  run.log.LogLine(kReadMapFileLog);
  run.log.LogLine(name);
  ImageRead read = ReadMapFile(run, files, page, name);
  files.loadedImage.length = read.length;
  if (!read.Taken()) Tell(run, page, *read.refusal);
  if (read.length > 0) return true;
  Refuse(run, page, FormatText(kCouldNotReadMapFormat, name));
  if (read.Taken()) {
    run.log.LogLine(kEmptyMapPlain);
  } else {
    Explain(run, *read.refusal);
  }
  return false;
}

bool CheckConfigPresent(RunState& run, SetupPage& page) {
  const std::string& name = run.settings.configFile;
  if (!CheckPathLength(run, page, name)) return false;
  if (ProveFileReadable(name)) return true;
  return Refuse(run, page, FormatText(kCannotFindConfigFormat, name.c_str()));
}

bool CheckFiles(RunState& run, DataFiles& files, SetupPage& page) {
  switch (run.settings.function) {
    case kWriteProgram:
      return CheckProgram(run, files, page);
    case kWriteMap:
      return CheckMap(run, files, page);
    case kReadConfiguration:
      return CheckConfigWritable(run, page) && CheckNoRestorePending(run, page);
    case kWriteConfiguration:
      return CheckConfigPresent(run, page);
  }
  return false;
}

// Opens and closes the port of the settings. When it will not open, the box
// says so in the system's words and the log gets the reason on a line of its own.
bool CheckPort(RunState& run, SetupPage& page) {
  if (SerialOpen(run.link) == 1) {
    SerialClose(run.link);
    return true;
  }
  const std::string& port = run.settings.portName;
  Refuse(run, page, FormatText(kCouldNotOpenFormat, port.c_str()));
  LogPortProblem(run, port);
  return false;
}

}  // namespace

bool PathFits(const std::string& name) {
  return name.size() <= MaxPathLength();
}

std::string PathTooLongText(const std::string& name) {
  return FormatText(kPathTooLongFormat, static_cast<int>(name.size()),
                    static_cast<int>(MaxPathLength()));
}

MapRequirement RequirementOf(const MapHeader& header) {
  return {header.FeatureMask(), header.DataLength()};
}

SetupEnabling EnablingFor(LoaderFunction function) {
  switch (function) {
    case kWriteProgram:
      return {true, true, false};
    case kReadConfiguration:
    case kWriteConfiguration:
      return {false, true, false};
    case kWriteMap:
      return {false, false, true};
  }
  return {};
}

int DoSetup(RunState& run, SetupPage& page) {
  run.log.LogLine(kDoSetupLogLine);
  run.settings.programFile = FindNewestFile(kProgramFilePattern);
  run.settings.mapFile = FindNewestFile(kMapFilePattern);
  run.settings.configFile = DefaultConfigFileName(run.host.WallClock());
  return page.Run();
}

void SetupPageOpen(RunState& run, SetupPage& page) {
  page.SetApplicationIcon();
  page.SetFieldText(kSetupProgramField, run.settings.programFile);
  page.SetFieldText(kSetupMapField, run.settings.mapFile);
  page.SetFieldText(kSetupConfigField, run.settings.configFile);
  page.PostCommand(run.settings.function);
}

void SetupPageCommand(RunState& run, DataFiles& files, SetupPage& page, int command) {
  if (IsFunctionButton(command)) {
    SelectFunction(page, command);
    return;
  }
  switch (command) {
    case kSetupProgramFind:
      FindInto(run, page, kSetupProgramField, ProgramFileFilters());
      return;
    case kSetupConfigFind:
      FindInto(run, page, kSetupConfigField, ConfigFileFilters());
      return;
    case kSetupMapFind:
      FindInto(run, page, kSetupMapField, MapFileFilters());
      return;
    case kSetupCommsButton:
      page.OpenComms();
      return;
    case kSetupNextButton:
      SetupPageNext(run, files, page);
      return;
    case kSetupCancelButton:
    case kSetupCloseRequest:
      page.EndPage(kPageLeave);
      return;
    default:
      return;
  }
}

NextOutcome SetupPageNext(RunState& run, DataFiles& files, SetupPage& page) {
  for (LoaderFunction function : kNextOrder) {
    if (page.IsRadioChecked(function)) {
      run.settings.function = function;
      break;
    }
  }
  run.settings.programFile = page.FieldText(kSetupProgramField);
  run.settings.mapFile = page.FieldText(kSetupMapField);
  run.settings.configFile = page.FieldText(kSetupConfigField);
  if (!CheckFiles(run, files, page)) return NextOutcome::kFileRefused;
  if (!CheckPort(run, page)) return NextOutcome::kPortNotOpened;
  page.EndPage(kPageNext);
  return NextOutcome::kPassed;
}

}  // namespace rv4410
