#include "datafiles/map_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "checksum/crc32.h"
#include "datafiles/ordinal_date.h"
#include "platform/format.h"
#include "platform/system_calls.h"

namespace rv4410 {

namespace {

// Map data is read and checked in pieces of this size, while they are still in cache.
constexpr std::size_t kDataChunk = 1 << 20;

std::string ReadErrorText(int which, int number, const char* text, const char* path) {
  switch (which) {
    case 1:
      return FormatText(kMapReadError1Format, number, text, path);
    case 2:
      return FormatText(kMapReadError2Format, number, text, path);
    case 3:
      return FormatText(kMapReadError3Format, number, text, path);
    case 4:
      return FormatText(kMapReadError4Format, number, text, path);
    case 5:
      return FormatText(kMapReadError5Format, number, text, path);
    case 6:
      return FormatText(kMapReadError6Format, number, text, path);
    default:
      return FormatText(kMapReadError7Format, number, text, path);
  }
}

// The part of the file that read error (1) to (7) stopped in.
const char* PartOfReadError(int which) {
  static constexpr const char* kParts[] = {"header",        "control block", "map data", "trailer",
                                           "further bytes", "further bytes", "check sum"};
  return kParts[std::clamp(which, 1, 7) - 1];
}

// A header that is not a map's: what the file seems to be instead.
std::string WrongFormatPlain(const MapHeader& header) {
  bool hexText = true;
  bool text = true;
  for (std::uint8_t c : header.bytes) {
    bool space = c == '\r' || c == '\n' || c == ' ' || c == '\t';
    if (!std::isxdigit(c) && !space) hexText = false;
    if (!std::isprint(c) && !space) text = false;
  }
  if (hexText) return kLooksLikeProgramPlain;
  if (text) return kLooksLikeTextPlain;
  return FormatText(kOtherFormatPlainFormat, static_cast<unsigned>(header.FormatNumber()),
                    static_cast<unsigned>(kMapFormat));
}

}  // namespace

MapFileReader::MapFileReader(Host& host, DataFiles& files, const char* path)
    : host_(host),
      files_(files),
      owned_(std::in_place, path, "rb"),
      file_(owned_->Stream()),
      path_(path) {}

MapFileReader::MapFileReader(Host& host, DataFiles& files, std::FILE* file, const char* path)
    : host_(host), files_(files), file_(file), path_(path) {}

std::optional<FileRefusal> MapFileReader::ReadHeader() {
  if (file_ == nullptr) return owned_->Refusal();
  Crc32Init(fileCrc_);
  MapHeader& header = files_.mapHeader;
  if (!ReadFolded(header.bytes.data(), header.bytes.size())) return ReadError(1);
  if (header.FormatNumber() != kMapFormat) {
    FileRefusal refusal =
        ShownRefusal(RefusalReason::kWrongFormat,
                     FormatText(kMapFormatConflictFormat, static_cast<int>(header.FormatNumber())));
    refusal.loggedFirst = true;
    refusal.plain = WrongFormatPlain(header);
    return refusal;
  }
  return std::nullopt;
}

ImageRead MapFileReader::ReadRest() {
  const MapHeader& header = files_.mapHeader;
  ControlBlock& block = files_.mapControlBlock;
  if (!ReadFolded(block.bytes.data(), block.bytes.size())) return ReadError(2);
  std::uint32_t length = header.DataLength();
  std::uint32_t dataCrc = 0;
  if (std::optional<FileRefusal> refusal = ReadData(length, dataCrc)) return *refusal;

  std::array<std::uint8_t, kMapTrailerSize> trailer;
  if (!ReadFolded(trailer.data(), trailer.size())) return ReadError(4);
  if (std::optional<FileRefusal> refusal =
          ReadFurtherBytes(header.TotalLength() - length - kMapFixedBytes)) {
    return *refusal;
  }

  std::array<std::uint8_t, 4> stored;
  if (!ReadExact(stored.data(), stored.size())) return ReadError(7);
  if (fileCrc_ != LoadLittleEndian32(stored.data())) {
    return Explained(ShownRefusal(RefusalReason::kCrcError, FormatText(kMapCrcErrorFormat, path_)),
                     kMapCrcPlain);
  }
  block.SetWord(kMapDataLengthOffset, length);
  block.SetWord(kMapDataCrcOffset, dataCrc);
  return ImageRead(static_cast<int>(length));
}

ImageRead MapFileReader::Read() {
  if (std::optional<FileRefusal> refusal = ReadHeader()) return *refusal;
  return ReadRest();
}

bool MapFileReader::ReadExact(std::uint8_t* into, std::size_t count) {
  return std::fread(into, 1, count, file_) == count && std::ferror(file_) == 0;
}

// A run being stopped reads no further: the read then fails without a word.
bool MapFileReader::ReadFolded(std::uint8_t* into, std::size_t count) {
  stopped_ = host_.StopRequested();
  if (stopped_ || !ReadExact(into, count)) return false;
  Crc32UpdateBytes(fileCrc_, into, static_cast<long>(count));
  return true;
}

// The number is the stream's error indicator (0 for a read that came up short).
FileRefusal MapFileReader::ReadError(int which) {
  if (stopped_) return QuietRefusal(RefusalReason::kStopped);
  int number = std::ferror(file_);
  int error = errno;
  bool readCaption = which != 5 && which != 6;
  const char* part = PartOfReadError(which);
  return Explained(ShownRefusal(RefusalReason::kReadError,
                                ReadErrorText(which, number, std::strerror(number), path_),
                                readCaption ? kReadErrorCaption : kErrorCaption),
                   number == 0 ? FormatText(kMapEndsInsideFormat, part)
                               : FormatText(kMapReadFailedFormat, part, std::strerror(error)));
}

// The map data into a new image, folded into the file CRC and into its own CRC.
std::optional<FileRefusal> MapFileReader::ReadData(std::uint32_t length, std::uint32_t& dataCrc) {
  LoadedImage& image = files_.loadedImage;
  // A length the file cannot hold would fail its read anyway: fail it now,
  // before taking (and zeroing) memory that a damaged header may put at 4 GB.
  std::optional<std::uint64_t> remaining = RemainingBytes(file_);
  if (remaining && *remaining < length) {
    image.Release();
    return ReadError(3);
  }
  // The result is a signed length: data of 2 GB or more is as unobtainable
  // as it was to the 32-bit loader this file format was made for.
  if (length > static_cast<std::uint32_t>(INT32_MAX) || !image.Allocate(length)) {
    return Explained(ShownRefusal(RefusalReason::kNoMemory,
                                  FormatText(kCouldNotAllocateFormat, static_cast<int>(length))),
                     FormatText(kMapNoMemoryPlainFormat, static_cast<unsigned>(length)));
  }
  image.length = length;
  Crc32Init(dataCrc);
  std::uint8_t* data = image.Data();
  for (std::size_t done = 0; done < length;) {
    std::size_t piece = std::min<std::size_t>(kDataChunk, length - done);
    if (!ReadFolded(data + done, piece)) return ReadError(3);
    Crc32UpdateBytes(dataCrc, data + done, static_cast<long>(piece));
    done += piece;
  }
  return std::nullopt;
}

// Whatever lies between the trailer and the stored CRC, in 256-byte chunks.
// A header whose T is below L + 1352 wraps the count round; the chunks then
// run into the end of the file.
std::optional<FileRefusal> MapFileReader::ReadFurtherBytes(std::uint32_t remaining) {
  std::array<std::uint8_t, kMapFurtherChunk> chunk;
  while (remaining > kMapFurtherChunk) {
    if (!ReadFolded(chunk.data(), chunk.size())) return ReadError(5);
    remaining -= kMapFurtherChunk;
  }
  if (!ReadFolded(chunk.data(), remaining)) return ReadError(6);
  return std::nullopt;
}

MapDates MapDatesFor(const MapHeader& header, std::time_t now) {
  OrdinalDate today = TodayOrdinal(now);
  MapDates dates;
  dates.range = {FormatText(kMapValidRangeFormat, FormatOrdinalDate(header.EffectiveDate()).c_str(),
                            FormatOrdinalDate(header.ExpirationDate()).c_str()),
                 kMapCautionCaption, BoxIcon::kWarning, BoxButtons::kOk};
  auto warn = [&dates](std::string text) {
    dates.warnings.push_back(
        {std::move(text), kMapDateWarningCaption, BoxIcon::kError, BoxButtons::kOkCancel});
  };
  OrdinalDate effective = AdjustOrdinalDate(header.EffectiveDate());
  if (effective > today) {
    warn(FormatText(kMapNotYetValidFormat, FormatOrdinalDate(effective).c_str()));
  }
  OrdinalDate expiration = AdjustOrdinalDate(header.ExpirationDate());
  if (expiration < today) {
    warn(FormatText(kMapExpiredFormat, FormatOrdinalDate(expiration).c_str()));
  }
  return dates;
}

}  // namespace rv4410
