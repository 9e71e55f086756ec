#pragma once
// Write Program: saves the unit's configuration, sends the program image,
// has the unit write it into flash, waits for the restart, writes the
// configuration back and resets the unit. UploadProgram sends framed,
// acknowledged blocks after the transfer set-up has found the fastest speed;
// UploadProgramRaw, for a unit that did not identify itself, streams the
// image at the current speed after announcing its length.

#include "uploads/loader_state.h"
#include "uploads/transfer_driver.h"

namespace rv4410 {

inline constexpr const char* kSendingProgramDataFormat = "Sending Program Data, %d bytes...\r\n";
inline constexpr const char* kWaitingForReset = "Waiting for Unit to Reset\r\n";
inline constexpr const char* kWritingConfigurationBack =
    "Writing configuration back to the Unit\r\n";
inline constexpr const char* kFlashWriteFailed = "Flash Write failed\nTry again?";
// The block variant's question after a refused restore has a carriage return.
inline constexpr const char* kRestoreRefusedBlock = "Unit replied with an error\rTry again?";
inline constexpr const char* kStatusWritingToFlash = "   WAIT ... Writing to Flash   ";
inline constexpr const char* kStatusResetingUnit = "  WAIT ... Reseting Unit  ";
inline constexpr const char* kStatusWritingParameters = "  WAIT ...Writing Parameters  ";
inline constexpr const char* kStatusDoneBlock = "          Done          ";
inline constexpr const char* kSendingProgramAtFormat = "   Sending Program At %i Baud   ";
inline constexpr const char* kSendingByteCount = "Sending byte count\r\n";
inline constexpr const char* kSendingBytesFormat = "Sending %d bytes...\r\n";
inline constexpr const char* kStatusWaitingForReset = "   WAIT ... Waiting for Reset   ";
inline constexpr const char* kStatusSendingParameters = "   WAIT ... Sending Parameters   ";
inline constexpr const char* kResettingUnitRaw = "Resetting Unit...\r\n";
inline constexpr const char* kStatusDoneRaw = "       DONE       ";
// The saved configuration could not be sent back (its file went missing or
// unreadable; the write has said why): the unit has the new program but not
// its configuration, which is not done.
inline constexpr const char* kRestoreNotSent =
    "The configuration could not be written back to the unit.\nTry again?";

inline constexpr std::int64_t kBlockReplyMs = 1050;
inline constexpr std::int64_t kProgramFlashLineMs = 240000;
inline constexpr std::int64_t kRestartWaitMs = 2000;
inline constexpr std::int64_t kByteCountReplyMs = 5000;
inline constexpr std::int64_t kRawDataReplyMs = 5000;
inline constexpr std::int64_t kRestoreReplyMs = 5000;
inline constexpr std::int64_t kBeforeResetMs = 500;

// Both return 1 in every case. The page is either left open with its final
// texts (the driver then re-enables Exit) or has been ended: 4 to find a unit
// again, 0 to leave. The port is closed on every way out but a cancelled
// handshake (the page closed it) and a failed transfer set-up.
int UploadProgram(LoaderState& state, TransferPageWindow& page);
int UploadProgramRaw(LoaderState& state, TransferPageWindow& page);

}  // namespace rv4410
