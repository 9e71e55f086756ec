#pragma once
// Read Configuration: asks the unit for its parameter list and stores every
// line it sends in the configuration file named in the settings. The checked
// exchange ("RX") is offered first; a unit that does not accept it gets the
// attention handshake and the plain exchange ("RP"). A damaged line warns the
// user, flushes the link and starts the plain exchange over with a fresh file.
//
// The configuration file is only ever replaced whole: the lines go to a
// temporary file of their own beside it, and only a list that the unit ended
// properly, that reached the disk whole and holds at least one line takes its
// place, in one step, under a lock that other runs writing the same name
// respect. Its earlier content is kept as "<file>.1" (".2", ...). A list still
// waiting to be written back to a unit after a program upload is never
// replaced. Any other ending leaves the file exactly as it was.

#include <string>

#include "config/parameter_file.h"
#include "protocol/outcome.h"
#include "protocol/run_state.h"

namespace rv4410 {

// What the page asks after a read that failed, however it failed.
inline constexpr const char* kProblemReadingConfiguration =
    "Problem reading configuration\nTry again?";
// The read's restarts ended by the run's wait limit (the command line's
// --wait): the limit in seconds.
inline constexpr const char* kRestartsRanOutFormat =
    "The parameter read met a damaged line on every attempt for %lld s: it was not restarted "
    "again";
inline constexpr const char* kStepBeforePlainRead =
    "the handshake before the plain parameter read (\"RP\")";

// The commands of a read; each is answered as its comment says.
inline constexpr const char* kCheckedReadCommand = "RX\r\n";  // "OK" within 500 ms, then the lines
inline constexpr const char* kPlainReadCommand = "RP\r\n";    // the lines, each within 5000 ms
inline constexpr const char* kReadingConfiguration = "Reading configuration from Unit\r\n";
inline constexpr const char* kDoneReadingParameters = "Done reading parameters\r\n";
inline constexpr const char* kLineReceivedOk = "OK line recvd\r\n";
inline constexpr const char* kLineInvalid = "ERROR line invalid\r\n";
inline constexpr const char* kCreateErrorFormat = "strerror says open error: %s\n";
inline constexpr const char* kFileWriteError = "File Write error\n";
inline constexpr const char* kNoParameterStored =
    "The unit's list held no parameter line to keep: the configuration file is unchanged\r\n";
inline constexpr const char* kListNotWrittenWhole =
    "Not every line reached the disk: the configuration file is unchanged\r\n";
inline constexpr const char* kFileNotReplacedFormat =
    "The configuration file could not be replaced (%s): it is unchanged\r\n";
inline constexpr const char* kFileBusyFormat =
    "Another run kept the configuration file locked (%s): it is unchanged\r\n";
inline constexpr const char* kLeftoverRemovedFormat =
    "Removed %s, left by a run that ended before it finished writing it\r\n";
inline constexpr const char* kLeftoverInUseFormat =
    "Another run is writing %s beside this configuration file now\r\n";
inline constexpr const char* kEarlierKeptFormat = "Earlier configuration kept as %s\r\n";
inline constexpr const char* kConfigurationWrittenToFormat = "Configuration written to %s\r\n";
inline constexpr const char* kParameterTransferErrorCaption = "Parameter Transfer Error ...";
inline constexpr const char* kRestartLogLine =
    "Parameter Transfer Error ... Restarting the Parameter Read";
// The warning after a line with a character the form does not allow.
inline constexpr const char* kRestartInvalidCharacterText =
    "Restarting the Parameter Transfer\n\nIf this error persists, check your cable!\n\n"
    "There MUST be a GROUND between\nyour PC and the RV4410!\n\n"
    "(Note: There is no ground on P3,\n           Ground is at P1 pin 22 or Chassis)";
// The warning after a line whose value field is damaged.
inline constexpr const char* kRestartBadValueText =
    "Restarting the Parameter Read\n\nIf this error persists, check your cable!\n\n"
    "There MUST be a GROUND between\nyour PC and the RV4410!\n\n"
    "(Note: There is no ground on P3,\n           Ground is at P1 pin 22 or Chassis)";

// What a read did to the configuration file.
struct ConfigurationFileChange {
  bool replaced = false;  // the file now holds the list just read
  std::string keptAs;     // where its earlier content now is; empty when none was kept
  // The unit ended its list without a single line (kStopped): its answer,
  // not a failed transfer.
  bool unitListEmpty = false;
};

// Needs the port open at the unit's speed with the unit at its prompt; leaves
// the port as it is. Reads into the configuration file of the settings;
// `change` says what became of the file.
// - done: the unit ended its list and the file now holds it (only then is it
//   replaced);
// - kCancelled: the user ended the page;
// - every other ending asks "Problem reading configuration\nTry again?":
//   kNoAnswer (5000 ms without a line, or the handshake before the plain
//   read ran out of the run's wait limit), kLineGone, kUnitError (a damaged
//   line on every attempt until the run's wait limit: no more restarts),
//   kStopped (the file could not be created, written or put in place, or the
//   list held no line to keep, told in the log).
Outcome ReadConfiguration(RunState& run, ConfigurationFileChange& change);
Outcome ReadConfiguration(RunState& run);

// A list the unit ended, not yet in place.
struct ReadList {
  ParameterFileWriter file;  // its lines, beside the configuration file of the settings
  int unitLines = 0;         // lines the unit sent (some may have failed their check)
};

// The read of ReadConfiguration without its last step: done when the unit
// ended its list and every line that passed its check is in `list.file`,
// which may hold none; the caller puts it in place (Commit with
// ReplaceRules) or drops it. Otherwise `list.file` holds nothing.
Outcome ReadConfigurationList(RunState& run, ReadList& list);

// The last step of ReadConfiguration: a list of at least one line replaces
// the configuration file by ReplaceRules (done); an empty one leaves it
// (kStopped, `change.unitListEmpty` when the unit sent no line at all); a
// replace that fails or is refused is kStopped too, the user told.
Outcome PutReadListInPlace(RunState& run, ReadList& list, ConfigurationFileChange& change);

// How a read's list replaces the configuration file: waiting with the window
// alive, up to 10 s, while another run replaces the same file, and never over
// a list still waiting to be written back to a unit.
CommitRules ReplaceRules(RunState& run);

}  // namespace rv4410
