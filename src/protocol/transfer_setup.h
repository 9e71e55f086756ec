#pragma once
// Transfer set-up: brings the unit to the fastest speed the cable carries,
// selects program or map loading, and hands it the 256-byte control block.

#include <array>
#include <cstdint>

#include "protocol/outcome.h"
#include "protocol/run_state.h"
#include "protocol/transfer_page.h"

namespace rv4410 {

struct BaudTableEntry {
  const char* command;  // the speed command line, with its line end
  int baud;             // the speed the PC side then uses
};

// The speeds tried, fastest first. The unit answers each command "OK" at the
// old speed (within kSpeedReplyMs), then listens at the new one.
inline constexpr std::array<BaudTableEntry, 5> BaudTable = {{
    {"BR 115200\r", 115200},
    {"BR 57600\r", 57600},
    {"BR 38400\r", 38400},
    {"BR 19200\r", 19200},
    {"BR 9600\r", 9600},
}};

inline constexpr int kControlBlockSize = 256;
inline constexpr std::uint32_t kControlBlockAddress = 0;
// After a failure the unit is looked for again at its power-on speed.
inline constexpr int kResyncBaud = 9600;

// What the unit loads next; its command is answered "OK" at the new speed.
enum class LoadMode {
  kProgram,  // "P\r"
  kMap,      // "M\r"
};
inline constexpr const char* kProgramLoadModeCommand = "P\r";
inline constexpr const char* kMapLoadModeCommand = "M\r";

// The unit's "OK" to a speed command, at the old speed.
inline constexpr std::int64_t kSpeedReplyMs = 500;
// Lets the unit's "OK" leave before either end changes speed.
inline constexpr std::int64_t kSpeedSwitchPauseMs = 400;
// The "OK" to the load-mode command, the first thing heard at a new speed:
// its absence says the cable does not carry that speed.
inline constexpr std::int64_t kLoadModeReplyMs = 500;
// The "OK" to the control block: the unit checks the frame first.
inline constexpr std::int64_t kControlBlockReplyMs = 2050;

inline constexpr const char* kSetUpForTransfer = "Set up for transfer\r\n";
inline constexpr const char* kSendBaudRateMessage = "Send baud rate message:";
inline constexpr const char* kSettingMapLoadMode = "Setting map load mode\r\n";
inline constexpr const char* kSettingProgramLoadMode = "Setting program load mode\r\n";
inline constexpr const char* kBaudRateSetFormat = "   Baud Rate Set to %i   ";
inline constexpr const char* kSendingControlBlock = "Sending control block\r\n";
inline constexpr const char* kControlBlockWriteError = "Control Block write error";
inline constexpr const char* kControlBlockWriteErrorLog = "Note: Control Block write error\r\n";
inline constexpr const char* kRetrying = "...Retrying\r\n";
inline constexpr const char* kTryingLowerBaudRate = "Trying lower baud rate\r\n";
inline constexpr const char* kNoResponse = "no response";
// The step a handshake of the set-up serves, for a command line that ran out of time.
inline constexpr const char* kStepResyncAt9600 =
    "the handshake at 9600 baud after a speed that failed (\"Trying lower baud rate\")";

// Negotiates the speed down BaudTable, sets program or map loading (`mode`),
// and sends `controlBlock` (256 bytes) as a "C" frame at address 0; the speed
// message goes to `page`'s status field 1033.
// - done: the unit accepted the block; the port is open at the negotiated
//   speed, which the settings also hold;
// - kUnitError or kNoAnswer asking "Try again?": the speed command was
//   refused or unanswered (no fall-back for it);
// - kUnitError or kNoAnswer, the page staying open: the 9600 entry failed
//   too (port open at 9600);
// - kCancelled, kLineGone, or kNoAnswer from a fall-back's handshake (see
//   WaitForOk).
Outcome SetupTransfer(RunState& run, TransferPage& page, LoadMode mode,
                      const std::uint8_t* controlBlock);

}  // namespace rv4410
