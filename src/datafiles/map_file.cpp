#include "datafiles/map_file.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

#include "datafiles/image_file.h"
#include "datafiles/ordinal_date.h"
#include "platform/system_calls.h"
#include "protocol/command_lines.h"
#include "checksum/crc32.h"

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

class MapFileReader {
 public:
  MapFileReader(RunState& run, DataFiles& files, std::FILE* file, const char* path, WindowRef owner)
      : run_(run), files_(files), file_(file), path_(path), owner_(owner) {}

  int Read() {
    Crc32Init(fileCrc_);
    MapHeader& header = files_.mapHeader;
    if (!ReadFolded(header.bytes.data(), header.bytes.size())) return ReadError(1);
    if (header.FormatNumber() != kMapFormat) {
      std::string text =
          FormatText(kMapFormatConflictFormat, static_cast<int>(header.FormatNumber()));
      run_.log.LogLine(text);
      Show(text, kErrorCaption, BoxIcon::kError, BoxButtons::kOk);
      return -1;
    }
    if (!DatesAccepted()) return -1;

    ControlBlock& block = files_.mapControlBlock;
    if (!ReadFolded(block.bytes.data(), block.bytes.size())) return ReadError(2);
    std::uint32_t length = header.DataLength();
    std::uint32_t dataCrc = 0;
    if (int result = ReadData(length, dataCrc); result != 0) return result;

    std::array<std::uint8_t, kMapTrailerSize> trailer;
    if (!ReadFolded(trailer.data(), trailer.size())) return ReadError(4);
    if (!ReadFurtherBytes(header.TotalLength() - length - kMapFixedBytes)) return -1;

    std::array<std::uint8_t, 4> stored;
    if (!ReadExact(stored.data(), stored.size())) return ReadError(7);
    if (fileCrc_ != LoadLittleEndian32(stored.data())) {
      std::string text = FormatText(kMapCrcErrorFormat, path_);
      Show(text, kErrorCaption, BoxIcon::kError, BoxButtons::kOk);
      run_.log.LogLine(text);
      return -1;
    }
    block.SetWord(kMapDataLengthOffset, length);
    block.SetWord(kMapDataCrcOffset, dataCrc);
    return static_cast<int>(length);
  }

 private:
  BoxAnswer Show(const std::string& text, const char* caption, BoxIcon icon, BoxButtons buttons) {
    return run_.host.ShowMessageBox({text, caption, icon, buttons, owner_});
  }

  bool ReadExact(std::uint8_t* into, std::size_t count) {
    return std::fread(into, 1, count, file_) == count && std::ferror(file_) == 0;
  }

  // A run being stopped reads no further: the read then fails without a word.
  bool ReadFolded(std::uint8_t* into, std::size_t count) {
    stopped_ = run_.host.StopRequested();
    if (stopped_ || !ReadExact(into, count)) return false;
    Crc32UpdateBytes(fileCrc_, into, static_cast<long>(count));
    return true;
  }

  // The number is the stream's error indicator (0 for a read that came up short).
  int ReadError(int which) {
    if (stopped_) return -1;
    int number = std::ferror(file_);
    std::string text = ReadErrorText(which, number, std::strerror(number), path_);
    bool readCaption = which != 5 && which != 6;
    Show(text, readCaption ? kReadErrorCaption : kErrorCaption, BoxIcon::kError, BoxButtons::kOk);
    run_.log.LogLine(text);
    return -1;
  }

  // The validity box always; a warning for each end of the period today lies beyond.
  bool DatesAccepted() {
    const MapHeader& header = files_.mapHeader;
    OrdinalDate today = TodayOrdinal(run_.host.WallClock());
    std::string range =
        FormatText(kMapValidRangeFormat, FormatOrdinalDate(header.EffectiveDate()).c_str(),
                   FormatOrdinalDate(header.ExpirationDate()).c_str());
    Show(range, kMapCautionCaption, BoxIcon::kWarning, BoxButtons::kOk);
    run_.log.LogLine(range);

    OrdinalDate effective = AdjustOrdinalDate(header.EffectiveDate());
    if (effective > today &&
        !WarningAccepted(FormatText(kMapNotYetValidFormat, FormatOrdinalDate(effective).c_str()))) {
      return false;
    }
    OrdinalDate expiration = AdjustOrdinalDate(header.ExpirationDate());
    if (expiration < today &&
        !WarningAccepted(FormatText(kMapExpiredFormat, FormatOrdinalDate(expiration).c_str()))) {
      return false;
    }
    return true;
  }

  bool WarningAccepted(const std::string& text) {
    return Show(text, kMapDateWarningCaption, BoxIcon::kError, BoxButtons::kOkCancel) ==
           BoxAnswer::kOk;
  }

  // The map data into a new image, folded into the file CRC and
  // into its own CRC. 0 on success, -1 after the failure was reported.
  int ReadData(std::uint32_t length, std::uint32_t& dataCrc) {
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
      std::string text = FormatText(kCouldNotAllocateFormat, static_cast<int>(length));
      Show(text, kErrorCaption, BoxIcon::kError, BoxButtons::kOk);
      run_.log.LogLine(text);
      return -1;
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
    return 0;
  }

  // Whatever lies between the trailer and the stored CRC, in 256-byte
  // chunks. A header whose T is below L + 1352 wraps the count round; the chunks
  // then run into the end of the file.
  bool ReadFurtherBytes(std::uint32_t remaining) {
    std::array<std::uint8_t, kMapFurtherChunk> chunk;
    while (remaining > kMapFurtherChunk) {
      if (!ReadFolded(chunk.data(), chunk.size())) {
        ReadError(5);
        return false;
      }
      remaining -= kMapFurtherChunk;
    }
    if (!ReadFolded(chunk.data(), remaining)) {
      ReadError(6);
      return false;
    }
    return true;
  }

  RunState& run_;
  DataFiles& files_;
  std::FILE* file_;
  const char* path_;
  WindowRef owner_;
  std::uint32_t fileCrc_ = 0;
  bool stopped_ = false;
};

}  // namespace

int ReadMapStream(RunState& run, DataFiles& files, std::FILE* file, const char* path,
                  WindowRef owner) {
  return MapFileReader(run, files, file, path, owner).Read();
}

int ReadMapFile(RunState& run, DataFiles& files, const char* path, WindowRef owner) {
  std::FILE* file = OpenImageFile(run, path, "rb");
  if (file == nullptr) return -1;
  int result = ReadMapStream(run, files, file, path, owner);
  std::fclose(file);
  return result;
}

}  // namespace rv4410
