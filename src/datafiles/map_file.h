#pragma once
// The map database file: a little-endian header with the validity dates, the
// map control block, the map data, a trailer, any further bytes, and a CRC of
// everything before it (stored little-endian).

#include <cstdint>
#include <cstdio>

#include "datafiles/loaded_image.h"
#include "platform/host.h"
#include "protocol/run_state.h"

namespace rv4410 {

inline constexpr std::uint32_t kMapFormat = 1;
inline constexpr std::size_t kMapTrailerSize = 1028;
// Header, control block, trailer and the stored CRC.
inline constexpr std::uint32_t kMapFixedBytes = 1352;
inline constexpr std::size_t kMapFurtherChunk = 256;
// Where ReadMapFile puts the map data's length and CRC (big-endian).
inline constexpr std::size_t kMapDataLengthOffset = 244;
inline constexpr std::size_t kMapDataCrcOffset = 248;

inline constexpr const char* kMapFormatConflictFormat = "Map File Format Conflict %d";
inline constexpr const char* kMapValidRangeFormat =
    "Map Data Valid in Date Range below ONLY \n\n    Effective Date %s \n    Expiration Date %s";
inline constexpr const char* kMapCautionCaption = "Caution";
inline constexpr const char* kMapNotYetValidFormat =
    "   Map Data is NOT YET Valid   \n\n   Will be Valid on %s\n ";
inline constexpr const char* kMapExpiredFormat =
    "   Map Data ALREADY Expired   \n\n   Expiration Date %s\n ";
inline constexpr const char* kMapDateWarningCaption = "Cancel to Quit, OK to Continue";
inline constexpr const char* kMapCrcErrorFormat = "CRC Error on File %s";
inline constexpr const char* kReadErrorCaption = "Read Error";
inline constexpr const char* kMapReadError1Format = "%d -- %s on File %s (1)";
inline constexpr const char* kMapReadError2Format = "%d -- %s on File %s (2)";
inline constexpr const char* kMapReadError3Format = "%d -- %s on File %s (3)";
inline constexpr const char* kMapReadError4Format = "%d -- %s on File %s (4)";
inline constexpr const char* kMapReadError5Format = "(%d) %s on File %s (5)";
inline constexpr const char* kMapReadError6Format = "(%d) %s on File %s (6)";
inline constexpr const char* kMapReadError7Format = "(%d) %s on File %s (7)";

// Reads the map database file: checks its format and its file CRC, shows its
// validity dates (always) and warns when today (the host's local date) lies
// outside them. On success returns L, with the map data in the image slot, the
// header in files.mapHeader, and the control block in files.mapControlBlock
// with L and the data CRC filled in at offsets 244 and 248. Returns -1 when
// the file cannot be opened, on any failure (shown and logged), and when the
// user cancels at a date warning. A data length the file cannot hold fails
// with read error (3) before any memory is taken for it.
int ReadMapFile(RunState& run, DataFiles& files, const char* path, WindowRef owner = nullptr);
// The same over an open binary stream (not closed here); `path` names it in messages.
int ReadMapStream(RunState& run, DataFiles& files, std::FILE* file, const char* path,
                  WindowRef owner = nullptr);

}  // namespace rv4410
