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

// The unit's "OK" to a data block, once it has checked its frame.
inline constexpr std::int64_t kBlockReplyMs = 1050;
// Each line of the flash write's answer: erasing and writing the program
// area takes minutes on the unit.
inline constexpr std::int64_t kProgramFlashLineMs = 240000;
// The unit restarts with its new program before it listens again.
inline constexpr std::int64_t kRestartWaitMs = 2000;
// "BC %X\r\n" announces the raw image's length; the unit answers "OK".
inline constexpr const char* kByteCountCommandFormat = "BC %X\r\n";
inline constexpr std::int64_t kByteCountReplyMs = 5000;
// "D\r\n" starts the raw stream; the unit answers "OK" after its last byte.
inline constexpr const char* kRawDataCommand = "D\r\n";
inline constexpr std::int64_t kRawDataReplyMs = 5000;
// The unit's "OK" to the whole configuration list written back.
inline constexpr std::int64_t kRestoreReplyMs = 5000;
inline constexpr std::int64_t kBeforeResetMs = 500;
// The steps whose handshakes a command line bounds, for its message.
inline constexpr const char* kStepResyncBeforeFlash =
    "the handshake before the flash write (\"Writing to flash\")";
inline constexpr const char* kStepAfterRestart =
    "the handshake after \"Waiting for Unit to Reset\", before the configuration goes back";

// Both return how the upload ended; neither closes the port, asks
// "Try again?" or ends the page (the transfer page's logic does, with the
// outcome). Done (or kIncomplete: the configuration written back was short,
// told in a box) once the unit has its program and its configuration back and
// has been reset; the page stays open for the block variant, and the raw
// variant's page asks "Upload to another unit?". Otherwise the ending of the
// step that failed: the configuration save (asking "Problem reading
// configuration"), the transfer set-up, a block, the probe, the flash write,
// the handshake after the restart, or the restore, each asking its
// question; kCancelled when the user ended the page.
Outcome UploadProgram(LoaderState& state, TransferPageWindow& page);
Outcome UploadProgramRaw(LoaderState& state, TransferPageWindow& page);

}  // namespace rv4410
