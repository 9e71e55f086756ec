#pragma once
// Transfer set-up: brings the unit to the fastest speed the cable carries,
// selects program or map loading, and hands it the 256-byte control block.

#include <array>
#include <cstdint>

#include "protocol/run_state.h"
#include "protocol/transfer_page.h"

namespace rv4410 {

struct BaudTableEntry {
  const char* command;  // the speed command line, with its line end
  int baud;             // the speed the PC side then uses
};

// The speeds tried, fastest first.
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

inline constexpr std::int64_t kSpeedReplyMs = 500;
// Lets the unit's "OK" leave before either end changes speed.
inline constexpr std::int64_t kSpeedSwitchPauseMs = 400;
inline constexpr std::int64_t kLoadModeReplyMs = 500;
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

// Negotiates the speed down BaudTable, sets program (`mapMode` 0, "P\r") or map
// (`mapMode` 1, "M\r") loading, and sends `controlBlock` (256 bytes) as a "C"
// frame at address 0; the speed message goes to `page`'s status field 1033.
// 0 when the unit accepted the block: the port is open at the negotiated speed,
// which the settings also hold. 1 on cancel (port closed), on a refused or
// unanswered speed command (port closed, `page` ended by CheckReply), or when
// the 9600 entry failed too (port open at 9600).
int SetupTransfer(RunState& run, TransferPage& page, int mapMode, const std::uint8_t* controlBlock);

}  // namespace rv4410
