#pragma once
// Write Configuration: sends the configuration file named in the settings to
// the unit, line by line. Each line is checked first: a line of the wrong form
// is dropped with a warning, an out-of-range value is sent as the parameter's
// minimum with a warning, and a name the loader does not know is sent after a
// warning. The checked exchange ("WX") is offered first, the plain one ("WP")
// follows the handshake otherwise. The file is never changed.

#include <string>

#include "protocol/outcome.h"
#include "protocol/run_state.h"

namespace rv4410 {

// The commands of a write. "WX" is answered "OK" within 500 ms by a unit that
// takes checked lines, each of which it answers "OK" within 500 ms; after
// "WP" the lines get no answer. Either list ends with an empty line, which
// the unit answers "OK" for the whole list within 5000 ms (the caller reads it).
inline constexpr const char* kCheckedWriteCommand = "WX\r\n";
inline constexpr const char* kPlainWriteCommand = "WP\r\n";
inline constexpr const char* kStepBeforePlainWrite =
    "the handshake before the plain parameter write (\"WP\")";

inline constexpr const char* kWritingConfiguration = "Writing configuration to Unit\r\n";
inline constexpr const char* kIgnoringParameterFormat =
    "Ignoring parameter!\n\n%s \n\nInvalid character found. '%c'(%d)#%d";
inline constexpr const char* kParameterCharacterErrorCaption = "Parameter Character Error ...";
inline constexpr const char* kValueChangedFormat = "%s value %d \nbeing changed to %d";
inline constexpr const char* kParameterValueErrorCaption = "Parameter Value Error ...";
inline constexpr const char* kParameterNameNotFound = "Parameter Name Not Found ...";
// A line far beyond any parameter line: dropped as a whole rather than sent in pieces.
inline constexpr const char* kLineTooLongFormat =
    "Ignoring parameter!\n\n%.40s... \n\nLine longer than %d characters.";
// The file is checked whole before the unit hears of it: the file, the reason.
inline constexpr const char* kConfigFileUnusableFormat =
    "Cannot send the configuration file\n%s\n(%s)\n\nNothing was sent to the unit.";
inline constexpr const char* kNotARegularFile = "it is not a regular file";
inline constexpr const char* kReadFailedFormat = "reading line %d failed: %s";
inline constexpr const char* kNoParameterLine = "it holds no parameter line";
// The file failed between its check and the end of sending: the list is short.
// The file a write sends, named in the log once it has passed its check.
inline constexpr const char* kConfigurationReadFromFormat = "Configuration read from %s\r\n";
inline constexpr const char* kReadFailedWhileSendingFormat =
    "The configuration file\n%s\ncould not be read past line %d (%s).\n\n"
    "The unit got only the lines before it.";

// Needs the port open with the unit at its prompt; leaves the port as it is.
// Sends the file at `path`; the plain form sends the configuration file of
// the settings. The whole file is read and checked first. Memory stays
// bounded: the file is read twice, never held whole.
// - done: the list and its closing empty line have gone out; the caller
//   then reads the unit's answer to the whole list;
// - kIncomplete: the file failed while being sent (told in an "Error" box):
//   the list ended early with its empty line, and the caller reads the
//   answer as after done;
// - kFileRefused: the file is no regular file, cannot be opened or read to
//   its end, or holds no parameter line: nothing at all was sent, the user
//   has been told in one box and the log has it; the caller must not wait
//   for the unit's answer;
// - kCancelled: the user ended the page; the rest of the file is not worked
//   through (checked between two lines and while a line's answer is awaited);
// - kLineGone, or kNoAnswer when the handshake before "WP" ran out of the
//   run's wait limit: nothing more went out; they ask "Operation timed
//   out\nTry again?", what a silent unit's answer to the list would get.
// What the checks did to the file's lines on their way to the unit.
struct WriteCounts {
  int dropped = 0;  // lines not sent: a wrong character, or far too long
  int changed = 0;  // values out of their limits, sent as the minimum
};

Outcome WriteConfiguration(RunState& run, const std::string& path, WriteCounts& counts);
Outcome WriteConfiguration(RunState& run, const std::string& path);
Outcome WriteConfiguration(RunState& run, WriteCounts& counts);
Outcome WriteConfiguration(RunState& run);

// The list of a unit that holds none: the exchange offered as above, then
// only the empty line that ends a list. Done, or as WriteConfiguration for
// a cancel or a line gone.
Outcome WriteEmptyConfiguration(RunState& run);

}  // namespace rv4410
