#pragma once
// Write Map: places the map's control block for the detected unit, brings
// the unit into map load mode at the fastest speed that works, sends the map
// data in acknowledged blocks, regains the unit's attention and has it write
// the map into flash. The configuration is neither saved nor restored.

#include <cstdint>

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

inline constexpr std::int64_t kMapBlockReplyMs = 2050;
inline constexpr std::int64_t kMapFlashLineMs = 600000;
inline constexpr std::int64_t kBeforeFindingAgainMs = 250;
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

// Returns 1 in every case; the page is left open with its final texts, or
// has been ended (0 leave, 4 find a unit again).
int UploadMap(LoaderState& state, TransferPageWindow& page);

}  // namespace rv4410
