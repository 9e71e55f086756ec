#include "config/saved_configuration.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "config/write_configuration.h"
#include "platform/system_calls.h"
#include "protocol/boxes.h"
#include "protocol/command_lines.h"

namespace rv4410 {

namespace {

// A question under "Note".
BoxAnswer AskNote(RunState& run, const std::string& text, BoxButtons buttons) {
  return ShowBox(run, {text, kNoteCaption, BoxIcon::kInformation, buttons, nullptr});
}

void ShowNote(RunState& run, const std::string& text) {
  ShowBox(run, {text, kNoteCaption, BoxIcon::kInformation, BoxButtons::kOk, nullptr},
          BoxLine::kBefore);
}

// The upload stops before anything is written to the unit; the page stays open.
Outcome Stopped(RunState& run) {
  run.log.LogPrintf(kUploadStoppedBeforeSending);
  return Outcome::StaysOpen(Ending::kStopped);
}

// The upload stops before anything is written to the unit, for the reason in `text`.
Outcome Stop(RunState& run, const std::string& text) {
  ShowBox(run, {text, kErrorCaption, BoxIcon::kError, BoxButtons::kOk, nullptr}, BoxLine::kBefore);
  return Stopped(run);
}

// A read whose list cannot serve: the page asks as after any failed read.
Outcome ReadFailed() {
  return Outcome::Asks(Ending::kStopped, kProblemReadingConfiguration);
}

std::string LocalTimeText(std::time_t when) {
  std::tm local = LocalTime(when);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// Why the serial numbers do not tell the units apart.
const char* SerialGap(const RestoreEvidence& evidence) {
  if (!evidence.saved.serial && !evidence.unit.serial) return "neither list holds a serial number";
  if (!evidence.saved.serial) return "the saved list holds no serial number";
  return "the unit's list holds no serial number";
}

const char* IdentificationNote(const RestoreEvidence& evidence) {
  if (!evidence.identificationKnown) return "no identification to compare";
  return evidence.identificationUnchanged ? "its identification is unchanged"
                                          : "its identification has changed (a new program may "
                                            "change it)";
}

}  // namespace

RestoreDecision ChooseRestore(const RestoreEvidence& evidence) {
  const ListFacts& saved = evidence.saved;
  const ListFacts& unit = evidence.unit;
  if (unit.SameList(saved)) return {RestoreChoice::kSaved, "the unit holds the list saved"};
  if (saved.serial && unit.serial) {
    if (*saved.serial == *unit.serial) {
      return {RestoreChoice::kSaved,
              FormatText("the unit's serial number (PTEST Sernum %u) is the saved list's",
                         *unit.serial)};
    }
    return {RestoreChoice::kAnotherUnit,
            FormatText("the unit's serial number (PTEST Sernum %u) is not the saved list's (%u)",
                       *unit.serial, *saved.serial)};
  }
  if (unit.HoldsNone() && evidence.identificationUnchanged) {
    return {RestoreChoice::kSaved,
            FormatText("the unit's list %s and its identification is the one recorded before the "
                       "flash write",
                       unit.lines == 0 ? "is empty" : "reads as erased")};
  }
  return {RestoreChoice::kAsk, FormatText("the lists differ, %s, and %s", SerialGap(evidence),
                                          IdentificationNote(evidence))};
}

void SavedConfiguration::BeginUnit() {
  restorePath_.clear();
  emptyList_ = false;
  saved_ = {};
  recordIsThisUnits_ = false;
}

Outcome SavedConfiguration::SaveBeforeUpload(RunState& run) {
  restorePath_.clear();
  emptyList_ = false;
  const std::string& file = run.settings.configFile;
  PendingRestore record;
  std::string problem;
  switch (ReadPendingRestore(file, record, problem)) {
    case RecordRead::kNone:
      recordIsThisUnits_ = false;
      return SaveFirst(run);
    case RecordRead::kBroken:
      return Stop(run, FormatText(kRecordUnreadableFormat, PendingRestorePath(file).c_str(),
                                  problem.c_str()));
    case RecordRead::kFound:
      break;
  }
  if (!recordIsThisUnits_) {
    ShowNote(run, FormatText(kPendingRestoreFoundFormat, record.started.c_str(),
                             record.program.c_str(), file.c_str()));
  }
  return SaveAgainstRecord(run, record);
}

Outcome SavedConfiguration::SaveFirst(RunState& run) {
  ReadList list;
  RV4410_TRY(ReadConfigurationList(run, list));
  ListFacts facts;
  // The facts of the list as read, before it is in place: the file is
  // proved to hold it still before the flash write starts.
  if (list.file.Lines() > 0 && !ReadListFacts(list.file.TemporaryPath(), facts)) {
    return ReadFailed();
  }
  ConfigurationFileChange change;
  Outcome placed = PutReadListInPlace(run, list, change);
  if (placed.Done()) {
    restorePath_ = run.settings.configFile;
    saved_ = facts;
    return placed;
  }
  if (!change.unitListEmpty) return placed;
  if (AskNote(run, kNoConfigurationQuestion, BoxButtons::kYesNo) != BoxAnswer::kYes) {
    return Stopped(run);
  }
  run.log.LogPrintf(kGoingOnWithoutConfiguration);
  emptyList_ = true;
  return Outcome::Ok();
}

Outcome SavedConfiguration::SaveAgainstRecord(RunState& run, const PendingRestore& record) {
  const std::string& file = run.settings.configFile;
  const std::string recordPath = PendingRestorePath(file);
  ListFacts saved;
  if (!ReadListFacts(file, saved)) {
    return Stop(run, FormatText(kPendingListLostFormat, file.c_str(), std::strerror(errno),
                                recordPath.c_str()));
  }
  if (!saved.SameList(record.list) || saved.length != record.list.length) {
    return Stop(run, FormatText(kPendingListLostFormat, file.c_str(), kListChangedReason,
                                recordPath.c_str()));
  }

  // The saved list stays where it is: the unit's goes to a file of its own.
  ReadList list;
  RV4410_TRY(ReadConfigurationList(run, list));
  ListFacts unit;
  // Lines that all failed their check are a failed read, not an empty list.
  if ((list.file.Lines() == 0 && list.unitLines > 0) ||
      (list.file.Lines() > 0 && !ReadListFacts(list.file.TemporaryPath(), unit))) {
    run.log.LogPrintf(kNoParameterStored);
    return ReadFailed();
  }

  RestoreEvidence evidence;
  evidence.saved = saved;
  evidence.unit = unit;
  evidence.identificationKnown = record.identification.has_value() && run.UnitInfoValid;
  evidence.identificationUnchanged =
      evidence.identificationKnown && record.identification->bytes == run.unitInfo.bytes;
  RestoreDecision decision = ChooseRestore(evidence);
  switch (decision.choice) {
    case RestoreChoice::kSaved:
      return UseSavedList(run, list, unit, saved, decision.reason.c_str());
    case RestoreChoice::kAnotherUnit:
      run.log.LogPrintf(kNotThatUnitLogFormat, decision.reason.c_str());
      return Stop(run, FormatText(kNotThatUnitFormat, file.c_str(), *saved.serial, *unit.serial));
    case RestoreChoice::kAsk:
      break;
  }
  const char* unitNote = unit.lines == 0 ? kUnitListEmpty : unit.allErased ? kUnitListErased : "";
  std::string question = kRestoreChoiceLead + FormatText(kRestoreChoiceFormat, file.c_str(),
                                                         unitNote, decision.reason.c_str());
  switch (AskNote(run, question, BoxButtons::kYesNoCancel)) {
    case BoxAnswer::kYes:
      return UseSavedList(run, list, unit, saved, kTechnicianChose);
    case BoxAnswer::kNo:
      return UseUnitList(run, list, unit);
    default:
      return Stopped(run);
  }
}

Outcome SavedConfiguration::UseSavedList(RunState& run, ReadList& list, const ListFacts& unit,
                                         const ListFacts& saved, const char* reason) {
  const std::string& file = run.settings.configFile;
  run.log.LogPrintf(kRestoreSavedFormat, file.c_str(), reason);
  // What the unit held is kept too, unless it is the saved list or nothing.
  if (list.file.Lines() > 0 && !unit.SameList(saved)) {
    FileReplacement kept = list.file.CommitAsCopy();
    if (kept.done) {
      run.log.LogPrintf(kUnitListKeptFormat, kept.keptAs.c_str());
    } else {
      run.log.LogPrintf(kUnitListNotKeptFormat, std::strerror(kept.error));
    }
  }
  list.file.Discard();
  saved_ = saved;
  restorePath_ = file;
  recordIsThisUnits_ = true;
  return Outcome::Ok();
}

Outcome SavedConfiguration::UseUnitList(RunState& run, ReadList& list, const ListFacts& unit) {
  const std::string& file = run.settings.configFile;
  run.log.LogPrintf(kRestoreUnitListFormat, kTechnicianChoseUnitList);
  // The saved list stays in its file (or its numbered copy): only the
  // record that it is owed to this unit goes.
  ClearPendingRestore(run, file, kTechnicianChoseUnitList);
  recordIsThisUnits_ = false;
  if (list.file.Lines() == 0) {
    emptyList_ = true;
    return Outcome::Ok();
  }
  ConfigurationFileChange change;
  RV4410_TRY(PutReadListInPlace(run, list, change));
  restorePath_ = file;
  saved_ = unit;
  return Outcome::Ok();
}

std::string SavedConfiguration::RecordBeforeFlashWrite(RunState& run,
                                                       const std::string& programFile) {
  // An empty list has nothing that a crash could lose: a new run asks again.
  if (emptyList_ || restorePath_.empty()) return {};
  const std::string& file = restorePath_;
  if (recordIsThisUnits_ && PendingRestoreExists(file)) return {};
  // With the file locked, so that no other run replaces it between the
  // proof that it holds this unit's list and the record saying so.
  ConfigurationFileLock lock;
  LockTry got = lock.Acquire(ConfigurationTarget(file), ReplaceRules(run).waitTurn);
  if (got != LockTry::kLocked) {
    const char* why = got == LockTry::kHeld   ? kFileHeldByAnotherRun
                      : got == LockTry::kGone ? std::strerror(ENOENT)
                                              : std::strerror(errno);
    return FormatText(kRecordFailedFormat, file.c_str(), why);
  }
  ListFacts now;
  if (!ReadListFacts(file, now) || !now.SameList(saved_) || PendingRestoreExists(file)) {
    return FormatText(kRecordFailedFormat, file.c_str(), kReplacedByAnotherRun);
  }
  PendingRestore record;
  record.configFile = file;
  record.list = now;
  if (run.UnitInfoValid) record.identification = run.unitInfo;
  record.program = programFile;
  record.started = LocalTimeText(run.host.WallClock());
  if (!WritePendingRestore(record)) {
    return FormatText(kRecordFailedFormat, file.c_str(), std::strerror(errno));
  }
  recordIsThisUnits_ = true;
  run.log.LogPrintf(kPendingRestoreRecordedFormat, PendingRestorePath(file).c_str());
  return {};
}

Outcome SavedConfiguration::RestoreAfterUpload(RunState& run) const {
  if (emptyList_) return WriteEmptyConfiguration(run);
  // Nothing saved for this unit: the file that is there may be another unit's.
  if (restorePath_.empty()) {
    ShowBox(run, {kNothingSavedForUnit, kErrorCaption, BoxIcon::kError, BoxButtons::kOk, nullptr},
            BoxLine::kBefore);
    Outcome refused = Outcome::StaysOpen(Ending::kFileRefused);
    refused.reason = kNothingSavedForUnit;
    return refused;
  }
  return WriteConfiguration(run, restorePath_);
}

void SavedConfiguration::RestoreTaken(RunState& run) {
  if (!restorePath_.empty()) ClearPendingRestore(run, restorePath_, kClearedByRestore);
  recordIsThisUnits_ = false;
}

}  // namespace rv4410
