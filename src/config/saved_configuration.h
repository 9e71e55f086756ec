#pragma once
// The configuration a program upload saves from the unit before the flash
// write and writes back after it, and the unit it belongs to.
//
// A first attempt reads the unit's list into the configuration file (the
// earlier content kept as "<file>.N"). Just before the flash write starts, a
// record beside the file says that a restore is pending (PendingRestore); it
// is cleared once the unit has answered the restore with "OK". So a record
// means: a flash write was started with this saved list, and its unit has
// not had the list back. An attempt that finds one (a retry after "Try
// again?", or a new run after a crash) may face a unit whose list the flash
// write changed or erased, or another unit altogether. Its read goes to a
// file of its own, the saved list stays where it is, and ChooseRestore
// decides which list goes back; an attempt without a record has no flash
// write behind it, and the list it reads is the unit's own.
//
// One record for the whole run, beside RunState. The program upload calls:
//   BeginUnit()              when a new unit is attached: "Upload to another
//                            unit?" answered Yes, or a new pass through the
//                            setup page.
//   SaveBeforeUpload()       before anything is sent (each attempt).
//   RecordBeforeFlashWrite() before the first "W" of an attempt.
//   RestoreAfterUpload()     after the restart, then RestoreTaken() on "OK".

#include <string>

#include "config/pending_restore.h"
#include "config/read_configuration.h"
#include "protocol/run_state.h"

namespace rv4410 {

inline constexpr const char* kNothingSavedForUnit =
    "No configuration was saved from this unit:\nnothing is written back to it.";
// Yes/No, caption "Note": the unit's list is empty, and the upload may go on.
inline constexpr const char* kNoConfigurationQuestion =
    "This unit answered with an empty parameter list:\n"
    "it holds no configuration to write back after the upload.\n\n"
    "Go on with the program upload without one?";
inline constexpr const char* kGoingOnWithoutConfiguration =
    "Going on without a configuration to write back: the unit holds none\r\n";
// Yes/No/Cancel, caption "Note": the question begins with the lead.
inline constexpr const char* kRestoreChoiceLead =
    "Which configuration goes back to this unit after the upload?\n\n";
inline constexpr const char* kRestoreChoiceFormat =
    "Yes: the one saved before the flash write, in\n%s\n"
    "No: the one just read from this unit%s\n"
    "Cancel: stop; nothing is written to this unit.\n\n"
    "(The loader cannot tell whether this is the unit the saved\n"
    "configuration came from: %s.)";
inline constexpr const char* kUnitListErased = " (its values read as erased)";
inline constexpr const char* kUnitListEmpty = " (it holds no parameter)";
// "Note": a record found that no attempt of this unit in this run wrote.
inline constexpr const char* kPendingRestoreFoundFormat =
    "A program upload with this configuration file stopped after\n"
    "its flash write, before the configuration went back to the unit\n"
    "(started %s, program %s).\n\n"
    "The configuration saved then, in\n%s\n"
    "goes back to the unit after this upload if the unit is the one\nit came from.";
// "Error": the serial numbers say the unit is another.
inline constexpr const char* kNotThatUnitFormat =
    "This is not the unit whose configuration waits in\n%s\n"
    "(serial number %u there, %u in this unit).\n\n"
    "Nothing was written to this unit. Attach the unit the\n"
    "configuration belongs to, or choose another configuration file.";
// "Error": the record names a list its file no longer holds.
inline constexpr const char* kPendingListLostFormat =
    "A program upload left a configuration to write back in\n%s\n"
    "but the file no longer holds it (%s).\n\n"
    "Nothing was written to this unit. Find that configuration\n"
    "(a numbered copy beside the file may hold it), or remove\n%s\n"
    "to go on without it.";
inline constexpr const char* kRecordUnreadableFormat =
    "The record of a pending configuration restore\n%s\ncannot be used (%s).\n\n"
    "Nothing was written to this unit. Remove the record to go on without it.";
inline constexpr const char* kListChangedReason = "it was changed since";
// The question after a failed record: the flash write would have no way back.
inline constexpr const char* kRecordFailedFormat =
    "The pending configuration restore could not be recorded\nbeside %s (%s).\n"
    "The flash write was not started.\nTry again?";
inline constexpr const char* kReplacedByAnotherRun = "another run has replaced the file since";
inline constexpr const char* kRestoreSavedFormat =
    "The configuration saved in %s goes back to the unit: %s\r\n";
inline constexpr const char* kRestoreUnitListFormat =
    "The configuration just read from the unit goes back to it: %s\r\n";
inline constexpr const char* kUnitListKeptFormat =
    "The list just read from the unit is kept as %s\r\n";
inline constexpr const char* kUnitListNotKeptFormat =
    "The list just read from the unit could not be kept (%s)\r\n";
inline constexpr const char* kNotThatUnitLogFormat =
    "Not the unit the saved configuration came from: %s\r\n";
inline constexpr const char* kPendingRestoreRecordedFormat =
    "Recorded in %s that the configuration goes back to the unit after the flash write\r\n";
inline constexpr const char* kFileHeldByAnotherRun = "another run holds the file";
// A question and its answer, as the log keeps them.
inline constexpr const char* kTechnicianChose = "the technician chose it";
inline constexpr const char* kTechnicianChoseUnitList = "the technician chose the unit's own list";
inline constexpr const char* kUploadStoppedBeforeSending =
    "Program upload stopped: nothing was written to the unit\r\n";

// What decides which list goes back once a flash write was started with a
// saved list: the list the unit holds now, and its identification.
struct RestoreEvidence {
  ListFacts saved;  // the saved list, as recorded before the flash write
  ListFacts unit;   // the list just read from the unit
  // The unit identified itself now and when the record was made, and the
  // two identifications are the same (a new program may change it).
  bool identificationUnchanged = false;
  bool identificationKnown = false;  // both identifications are there to compare
};

enum class RestoreChoice {
  kSaved,        // the saved list goes back
  kAnotherUnit,  // the serial numbers say the unit is another: stop
  kAsk,          // the evidence does not settle it: the technician chooses
};

struct RestoreDecision {
  RestoreChoice choice = RestoreChoice::kAsk;
  std::string reason;  // why, for the log and the question
};

// The same list as saved: the saved one. Both lists with a real serial
// number ("PTEST Sernum", neither 0 nor erased): equal, the saved one;
// different, another unit. A unit whose list holds nothing of its own
// (empty, or every value erased) and whose identification is unchanged: the
// saved one, its unit having lost its list. Anything else: ask.
RestoreDecision ChooseRestore(const RestoreEvidence& evidence);

class SavedConfiguration {
 public:
  // Forgets what was saved for the unit before. The files stay on disk.
  void BeginUnit();

  // Reads the unit's list and chooses the list to write back after the
  // upload, asking the technician where the rule above asks. Needs the port
  // open with the unit at its prompt; leaves it as it is.
  // - done: the list to write back is chosen; the upload goes on;
  // - the read's outcome when it failed (it asks "Problem reading
  //   configuration\nTry again?"), or kCancelled;
  // - kStopped, the page staying open: the upload stops for a reason told
  //   already (a box and the log), or a question of its own was answered so
  //   that it does not go on; nothing was sent beyond the read.
  Outcome SaveBeforeUpload(RunState& run);

  // Records, before the flash write starts, that a restore is pending for
  // `programFile`'s upload. Empty when recorded (or nothing to record: an
  // empty list); otherwise the question to ask (the flash write must not start).
  std::string RecordBeforeFlashWrite(RunState& run, const std::string& programFile);

  // True once a save of this unit has completed.
  bool HasSaved() const { return !restorePath_.empty() || emptyList_; }
  // The file holding the list to write back; empty for none or an empty list.
  const std::string& RestorePath() const { return restorePath_; }

  // Sends the list to write back (an empty list: the exchange with just its
  // end), as WriteConfiguration does; kFileRefused (nothing sent, the user
  // told in an "Error" box and the log) also when nothing was saved for this unit.
  Outcome RestoreAfterUpload(RunState& run) const;

  // The unit has answered the restore with "OK": the pending record goes.
  void RestoreTaken(RunState& run);

 private:
  Outcome SaveFirst(RunState& run);
  Outcome SaveAgainstRecord(RunState& run, const PendingRestore& record);
  Outcome UseSavedList(RunState& run, ReadList& list, const ListFacts& unit, const ListFacts& saved,
                       const char* reason);
  Outcome UseUnitList(RunState& run, ReadList& list, const ListFacts& unit);

  std::string restorePath_;
  bool emptyList_ = false;
  // The facts of the list saved, to prove before the flash write that the
  // file still holds it.
  ListFacts saved_;
  // This unit's record: written by an attempt of this run, or found and
  // judged to be this unit's.
  bool recordIsThisUnits_ = false;
};

}  // namespace rv4410
