#pragma once
// The map database file: a little-endian header with the validity dates, the
// map control block, the map data, a trailer, any further bytes, and a CRC of
// everything before it (stored little-endian).

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

#include "datafiles/file_refusal.h"
#include "datafiles/image_file.h"
#include "datafiles/loaded_image.h"
#include "platform/host.h"

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
// What was wrong with a refused map file, in plain words for the log.
inline constexpr const char* kLooksLikeProgramPlain =
    "this looks like a program file, not a map database";
inline constexpr const char* kLooksLikeTextPlain =
    "this looks like a text file, not a map database";
inline constexpr const char* kOtherFormatPlainFormat =
    "not a map database this loader reads: its header says format %u, not %u";
inline constexpr const char* kMapEndsInsideFormat = "the map file ends inside its %s";
inline constexpr const char* kMapReadFailedFormat = "reading the map file's %s failed: %s";
inline constexpr const char* kMapCrcPlain =
    "its check sum does not match its contents: the file is damaged";
inline constexpr const char* kMapNoMemoryPlainFormat = "no memory for map data of %u bytes";
inline constexpr const char* kDatesDeclinedPlain =
    "quit at a warning about the map's validity dates";

// Reads the map database file in two steps, between which the page shows
// the validity dates (MapDatesFor) and may ask whether to go on; the reader
// itself shows nothing:
//   ReadHeader: the header into files.mapHeader, its format checked;
//   ReadRest, once ReadHeader refused nothing: the control block, the data,
//     the trailer, the further bytes and the file CRC. Taken: L, with the map
//     data in the image slot and the control block in files.mapControlBlock
//     with L and the data CRC filled in at offsets 244 and 248.
// Refused when the file cannot be opened (nothing said; a line for the log
// when it is not a regular file), on a short read or a stream error (read
// errors (1) to (7)), on a format other than 1 (logged before its box), when
// the data cannot be had, on a CRC mismatch (an error box each), and when
// `host` asks the run to stop (nothing said). A data length the file cannot
// hold is refused with read error (3) before any memory is taken for it.
class MapFileReader {
 public:
  // Opens `path` (a regular file only). `path` names the file in the texts
  // and must outlive the reader.
  MapFileReader(Host& host, DataFiles& files, const char* path);
  // Reads the open binary stream `file` (not closed here).
  MapFileReader(Host& host, DataFiles& files, std::FILE* file, const char* path);

  std::optional<FileRefusal> ReadHeader();
  ImageRead ReadRest();
  // Both steps, the dates not looked at: for those that ask nobody.
  ImageRead Read();

 private:
  bool ReadExact(std::uint8_t* into, std::size_t count);
  bool ReadFolded(std::uint8_t* into, std::size_t count);
  FileRefusal ReadError(int which);
  std::optional<FileRefusal> ReadData(std::uint32_t length, std::uint32_t& dataCrc);
  std::optional<FileRefusal> ReadFurtherBytes(std::uint32_t remaining);

  Host& host_;
  DataFiles& files_;
  std::optional<ImageFile> owned_;
  std::FILE* file_;
  const char* path_;
  std::uint32_t fileCrc_ = 0;
  bool stopped_ = false;
};

// The boxes about the map's validity dates, in the order the page shows them
// between the two steps of the read: `range` always (OK only; its text is
// logged after it), then a question for each end of the period that today
// (the local date of `now`) lies beyond (OK to go on, Cancel to quit; not
// logged). The boxes have no owner yet.
struct MapDates {
  MessageBoxRequest range;
  std::vector<MessageBoxRequest> warnings;
};
MapDates MapDatesFor(const MapHeader& header, std::time_t now);

}  // namespace rv4410
