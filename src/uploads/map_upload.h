#pragma once
// Write Map: places the map's control block for the detected unit, brings
// the unit into map load mode at the fastest speed that works, sends the map
// data in acknowledged blocks, regains the unit's attention and has it write
// the map into flash. The configuration is neither saved nor restored.

#include <cstdint>
#include <functional>

#include "datafiles/control_block.h"
#include "uploads/loader_state.h"
#include "uploads/transfer_driver.h"

namespace rv4410 {

inline constexpr const char* kSendingMapDataFormat = "Sending Map Data, %d bytes...\r\n";
inline constexpr const char* kFindInstrumentAgain = "Find instrument again\r\n";
inline constexpr const char* kBurnFlashFailed = "Burn flash failed\nTry again?";
inline constexpr const char* kBlockSendTimedOut = "Block send timed out\nTry again?";
inline constexpr const char* kStatusMapWritingToFlash = "    WAIT ... Writing to Flash    ";
inline constexpr const char* kStatusMapDone = "          Done            ";

// The unit's "OK" to a map data block: it stores the block before it answers.
inline constexpr std::int64_t kMapBlockReplyMs = 2050;
// Each line of the flash write's answer: the map area is larger than the program's.
inline constexpr std::int64_t kMapFlashLineMs = 600000;
// The unit settles after the last block before it is called again.
inline constexpr std::int64_t kBeforeFindingAgainMs = 250;
inline constexpr const char* kStepFindInstrumentAgain =
    "the handshake after \"Find instrument again\"";
// Block addresses count from the start of the control block, which covers 0..255.
inline constexpr std::uint32_t kMapDataAddress = 256;

// The map control block's seven address fields, at every second word from
// the start, and its own check over the bytes before it.
inline constexpr std::size_t kMapAddressFields = 7;
inline constexpr std::size_t kMapAddressFieldStride = 8;
inline constexpr std::size_t kMapBlockCheckOffset = 252;

// Makes the control block's addresses absolute for a unit whose map base is
// `mapBase`: when the first address is below mapBase + 256, all seven grow
// by that much and the block's check is renewed; otherwise the block is left
// byte for byte. A block once placed stays placed: a second call leaves it.
void RelocateMapControlBlock(ControlBlock& block, std::uint32_t mapBase);

// Asks, after a block has failed ten times in a row, whether to send it
// again in place: true on Yes. The transfer page's logic supplies it: the
// question is its to ask, the retry the upload's to make.
using AskBlockAgain = std::function<bool(const char* question)>;

// Returns how the upload ended; it closes nothing, ends no page and asks no
// "Try again?" of its own (the block questions go to `askAgain`). Done: the
// map is in flash, the page stays open. A block question answered No:
// kNoAnswer or kUnitError, the page staying open. Otherwise the ending of
// the set-up, the handshake, the probe or the flash write, each asking its
// question (or, for the probe, ending the page); kCancelled when the user
// ended the page. A line gone during the blocks asks "Block send timed
// out\nTry again?" as the page's question, for there is no retrying in place.
Outcome UploadMap(LoaderState& state, TransferPageWindow& page, const AskBlockAgain& askAgain);

}  // namespace rv4410
