#pragma once
// Read Configuration: asks the unit for its parameter list and stores every
// line it sends in the configuration file named in the settings. The checked
// exchange ("RX") is offered first; a unit that does not accept it gets the
// attention handshake and the plain exchange ("RP"). A damaged line warns the
// user, flushes the link and starts the plain exchange over with a fresh file.

#include "protocol/run_state.h"

namespace rv4410 {

inline constexpr int kReadDone = 0;        // the unit ended its list; every line is in the file
inline constexpr int kReadStopped = 1;     // 5000 ms without a line, or CancelRequested
inline constexpr int kReadFileError = -1;  // the configuration file could not be created

inline constexpr const char* kReadingConfiguration = "Reading configuration from Unit\r\n";
inline constexpr const char* kDoneReadingParameters = "Done reading parameters\r\n";
inline constexpr const char* kLineReceivedOk = "OK line recvd\r\n";
inline constexpr const char* kLineInvalid = "ERROR line invalid\r\n";
inline constexpr const char* kCreateErrorFormat = "strerror says open error: %s\n";
inline constexpr const char* kFileWriteError = "File Write error\n";
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

// Needs the port open at the unit's speed with the unit at its prompt; leaves
// the port as it is. The file is created anew by every attempt and stays on
// disk whatever the result. Returns kReadDone, kReadStopped or kReadFileError.
int ReadConfiguration(RunState& run);

}  // namespace rv4410
