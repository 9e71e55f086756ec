#include "datafiles/program_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "checksum/crc32.h"
#include "datafiles/image_file.h"
#include "platform/format.h"
#include "platform/system_calls.h"

namespace rv4410 {

namespace {

// What a character of the file means: a hex digit's value, a letter that
// takes a digit position but changes nothing, or nothing at all.
constexpr std::uint8_t kInertLetter = 16;
constexpr std::uint8_t kSkipped = 17;

constexpr std::array<std::uint8_t, 256> MakeDigitTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& entry : table) entry = kSkipped;
  for (int c = '0'; c <= '9'; ++c)
    table[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(c - '0');
  for (int c = 'A'; c <= 'Z'; ++c) {
    std::uint8_t value = c <= 'F' ? static_cast<std::uint8_t>(c - 'A' + 10) : kInertLetter;
    table[static_cast<std::size_t>(c)] = value;
    table[static_cast<std::size_t>(c - 'A' + 'a')] = value;
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kDigitTable = MakeDigitTable();
constexpr std::size_t kReadChunk = 64 * 1024;

// The digit stream as it fills first the header, then the image. The image
// holds the bytes the file supplies; the rest up to the header's length is
// padding, never stored. `mostBytes` bounds what the file can supply (when
// the stream can tell its size): the memory taken at once.
class ProgramTextReader {
 public:
  ProgramTextReader(LoadedImage& slot, std::optional<std::uint64_t> mostBytes)
      : image_(slot), mostBytes_(mostBytes) {}

  enum class Step { kGoOn, kStop, kFailed };

  Step Feed(const std::uint8_t* chars, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      std::uint8_t value = kDigitTable[chars[i]];
      if (value == kSkipped) continue;
      if (--digitCounter_ <= 0) {
        Step step = BeginByte();
        if (step != Step::kGoOn) return step;
      }
      if (value != kInertLetter) *current_ = static_cast<std::uint8_t>(*current_ << 4 | value);
    }
    return Step::kGoOn;
  }

  // N when the header was complete. The image then holds the bytes begun
  // and no more; a failure to give back the rest is an allocation failure
  // like any other.
  ImageRead Result() {
    if (byteIndex_ < kProgramHeaderSize) {
      return Explained(QuietRefusal(RefusalReason::kNoHeader),
                       FormatText(kNoHeaderPlainFormat, kProgramHeaderSize));
    }
    if (!image_.Hold(static_cast<std::size_t>(byteIndex_) + 1)) return AllocationFailed();
    return ImageRead(imageLength_);
  }
  // Why Feed failed.
  const FileRefusal& Refusal() const { return refusal_; }

 private:
  Step BeginByte() {
    ++byteIndex_;
    if (byteIndex_ == kProgramHeaderSize) {
      Step step = TakeHeader();
      if (step != Step::kGoOn) return step;
    }
    if (byteIndex_ >= imageLength_) return Step::kStop;
    if (static_cast<std::size_t>(byteIndex_) >= room_ && !MakeRoom()) return Step::kFailed;
    digitCounter_ = 2;
    current_ = target_ + byteIndex_;
    *current_ = 0;
    return Step::kGoOn;
  }

  Step TakeHeader() {
    auto length = static_cast<std::int32_t>(LoadBigEndian32(header_.data() + kProgramLengthOffset));
    if (length < kProgramHeaderSize) {
      refusal_ = Explained(
          ShownRefusal(RefusalReason::kInvalidHeader, FormatText(kInvalidHeaderFormat, length)),
          FormatText(kInvalidHeaderPlainFormat, length, kProgramHeaderSize));
      return Step::kFailed;
    }
    imageLength_ = length;
    // Room for what the file can still supply, or a first piece when the
    // stream cannot tell; never more than the image.
    std::uint64_t room =
        mostBytes_ ? std::max<std::uint64_t>(*mostBytes_, kProgramHeaderSize + 1) : kFirstRoom;
    room_ =
        static_cast<std::size_t>(std::min<std::uint64_t>(room, static_cast<std::uint64_t>(length)));
    if (!image_.Allocate(static_cast<std::size_t>(length), room_)) {
      refusal_ = AllocationFailed();
      return Step::kFailed;
    }
    std::memcpy(image_.Data(), header_.data(), header_.size());
    image_.length = length;
    target_ = image_.Data();
    return Step::kGoOn;
  }

  // The file supplies more than the room taken so far (which is less than
  // the image): twice the room, or the whole image.
  bool MakeRoom() {
    room_ += std::min(room_, static_cast<std::size_t>(imageLength_) - room_);
    if (!image_.Hold(room_)) {
      refusal_ = AllocationFailed();
      return false;
    }
    target_ = image_.Data();
    return true;
  }

  FileRefusal AllocationFailed() const {
    return Explained(
        ShownRefusal(RefusalReason::kNoMemory, FormatText(kCouldNotAllocateFormat, imageLength_)),
        FormatText(kNoMemoryPlainFormat, imageLength_));
  }

  static constexpr std::size_t kFirstRoom = 64 * 1024;

  LoadedImage& image_;
  std::optional<std::uint64_t> mostBytes_;
  FileRefusal refusal_;
  std::size_t room_ = kProgramHeaderSize;
  std::array<std::uint8_t, kProgramHeaderSize> header_{};
  std::uint8_t* target_ = header_.data();
  std::uint8_t* current_ = header_.data();
  std::int32_t byteIndex_ = -1;
  int digitCounter_ = 0;
  std::int32_t imageLength_ = kProgramHeaderSize;
};

}  // namespace

ImageRead ReadProgramStream(Host& host, LoadedImage& slot, std::FILE* file) {
  // Every byte takes two characters, but the last may take one.
  std::optional<std::uint64_t> characters = RemainingBytes(file);
  std::optional<std::uint64_t> mostBytes;
  if (characters) mostBytes = (*characters + 1) / 2;
  ProgramTextReader reader(slot, mostBytes);
  std::array<std::uint8_t, kReadChunk> chunk;
  for (;;) {
    if (host.StopRequested()) return QuietRefusal(RefusalReason::kStopped);
    std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
    if (got == 0) break;
    ProgramTextReader::Step step = reader.Feed(chunk.data(), got);
    if (step == ProgramTextReader::Step::kFailed) return reader.Refusal();
    if (step == ProgramTextReader::Step::kStop) break;
  }
  return reader.Result();
}

ImageRead ReadProgramFile(Host& host, LoadedImage& slot, const char* path) {
  ImageFile file(path, "r");
  if (!file) return file.Refusal();
  ImageRead read = ReadProgramStream(host, slot, file.Stream());
  if (read.Taken() && slot.Held() < slot.Size()) {
    read.note = FormatText(kPaddedImageLogFormat, static_cast<int>(slot.Held()), read.length);
  }
  return read;
}

namespace {

std::uint32_t ProgramCrc(const LoadedImage& image, std::size_t begin, std::size_t end) {
  std::uint32_t crc = 0;
  Crc32Init(crc);
  image.UpdateCrc(crc, begin, end);
  return crc;
}

}  // namespace

std::optional<FileRefusal> CheckProgramImage(const LoadedImage& image, const char* fileName) {
  std::size_t size = image.HasBuffer() ? image.Size() : 0;
  auto crcError = [fileName] {
    return Explained(
        ShownRefusal(RefusalReason::kCrcError, FormatText(kProgramCrcErrorFormat, fileName)),
        kProgramCrcPlain);
  };
  // Too short to hold a control block: nothing here can be trusted.
  if (size < kControlBlockBytes) return crcError();
  ControlBlock block;
  image.Copy(0, kControlBlockBytes, block.data());
  auto word = [&block](std::size_t offset) { return block.Word(offset); };

  if (FieldPresent(word(kLoaderVersionOffset))) {
    return Explained(
        ShownRefusal(RefusalReason::kLoaderVersion, kCannotLoadProgram, kLoaderVersionCaption),
        kLoaderVersionPlain);
  }

  std::uint32_t expected = 0;
  std::uint32_t end = 0;
  if (FieldPresent(word(kNewerCrcOffset))) {
    expected = word(kNewerCrcOffset);
    end = word(kProgramLengthOffset);
  } else {
    expected =
        FieldPresent(word(kOlderCrcOffset)) ? word(kOlderCrcOffset) : word(kOlderCrcFallbackOffset);
    end = word(kOlderEndOffset);
  }
  // An end beyond the image would run the check past the buffer.
  if (end > size) return crcError();
  if (ProgramCrc(image, kControlBlockBytes, end) != expected) return crcError();

  std::uint32_t blockCrc = word(kControlBlockCrcOffset);
  if (FieldPresent(blockCrc) && ProgramCrc(image, 0, kControlBlockCheckedBytes) != blockCrc) {
    return Explained(
        ShownRefusal(RefusalReason::kCrcError, FormatText(kControlBlockCrcErrorFormat, fileName)),
        kControlBlockCrcPlain);
  }
  return std::nullopt;
}

}  // namespace rv4410
