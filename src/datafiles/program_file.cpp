#include "datafiles/program_file.h"

#include <array>
#include <cstring>

#include "protocol/command_lines.h"
#include "protocol/crc32.h"

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

void ShowError(RunState& run, const std::string& text, const char* caption, WindowRef owner) {
  run.host.ShowMessageBox({text, caption, BoxIcon::kError, BoxButtons::kOk, owner});
  run.log.LogLine(text);
}

// The digit stream as it fills first the header, then the image.
class ProgramTextReader {
 public:
  ProgramTextReader(RunState& run, DataFiles& files, WindowRef owner)
      : run_(run), image_(files.loadedImage), owner_(owner) {}

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

  // N when the header was complete, otherwise -1.
  int Result() const { return byteIndex_ >= kProgramHeaderSize ? imageLength_ : -1; }

 private:
  Step BeginByte() {
    ++byteIndex_;
    if (byteIndex_ == kProgramHeaderSize) {
      Step step = TakeHeader();
      if (step != Step::kGoOn) return step;
    }
    if (byteIndex_ >= imageLength_) return Step::kStop;
    digitCounter_ = 2;
    current_ = target_ + byteIndex_;
    *current_ = 0;
    return Step::kGoOn;
  }

  Step TakeHeader() {
    auto length = static_cast<std::int32_t>(LoadBigEndian32(header_.data() + kProgramLengthOffset));
    if (length < kProgramHeaderSize) {
      ShowError(run_, FormatText(kInvalidHeaderFormat, length), kErrorCaption, owner_);
      return Step::kFailed;
    }
    if (!image_.Allocate(static_cast<std::size_t>(length))) {
      ShowError(run_, FormatText(kCouldNotAllocateFormat, length), kErrorCaption, owner_);
      return Step::kFailed;
    }
    std::memcpy(image_.Data(), header_.data(), header_.size());
    image_.length = length;
    target_ = image_.Data();
    imageLength_ = length;
    return Step::kGoOn;
  }

  RunState& run_;
  LoadedImage& image_;
  WindowRef owner_;
  std::array<std::uint8_t, kProgramHeaderSize> header_{};
  std::uint8_t* target_ = header_.data();
  std::uint8_t* current_ = header_.data();
  std::int32_t byteIndex_ = -1;
  int digitCounter_ = 0;
  std::int32_t imageLength_ = kProgramHeaderSize;
};

}  // namespace

int ReadProgramStream(RunState& run, DataFiles& files, std::FILE* file, WindowRef owner) {
  ProgramTextReader reader(run, files, owner);
  std::array<std::uint8_t, kReadChunk> chunk;
  for (;;) {
    std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
    if (got == 0) break;
    ProgramTextReader::Step step = reader.Feed(chunk.data(), got);
    if (step == ProgramTextReader::Step::kFailed) return -1;
    if (step == ProgramTextReader::Step::kStop) break;
  }
  return reader.Result();
}

int ReadProgramFile(RunState& run, DataFiles& files, const char* path, WindowRef owner) {
  run.log.LogLine(kReadProgramFileLog);
  run.log.LogLine(path);
  std::FILE* file = std::fopen(path, "r");
  if (file == nullptr) return -1;
  int result = ReadProgramStream(run, files, file, owner);
  std::fclose(file);
  return result;
}

namespace {

std::uint32_t ProgramCrc(const std::uint8_t* image, std::size_t begin, std::size_t end) {
  std::uint32_t crc = 0;
  Crc32Init(crc);
  if (end > begin) Crc32UpdateBytes(crc, image + begin, static_cast<long>(end - begin));
  return crc;
}

}  // namespace

bool CheckProgramImage(RunState& run, const LoadedImage& image, const char* fileName,
                       WindowRef owner) {
  const std::uint8_t* bytes = image.Data();
  std::size_t size = image.HasBuffer() ? image.Size() : 0;
  auto word = [bytes](std::size_t offset) { return LoadBigEndian32(bytes + offset); };
  auto crcError = [&] {
    ShowError(run, FormatText(kProgramCrcErrorFormat, fileName), kErrorCaption, owner);
    return false;
  };
  // Too short to hold a control block: nothing here can be trusted.
  if (size < kControlBlockBytes) return crcError();

  if (FieldPresent(word(kLoaderVersionOffset))) {
    ShowError(run, kCannotLoadProgram, kLoaderVersionCaption, owner);
    return false;
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
  if (ProgramCrc(bytes, kControlBlockBytes, end) != expected) return crcError();

  std::uint32_t blockCrc = word(kControlBlockCrcOffset);
  if (FieldPresent(blockCrc) && ProgramCrc(bytes, 0, kControlBlockCheckedBytes) != blockCrc) {
    ShowError(run, FormatText(kControlBlockCrcErrorFormat, fileName), kErrorCaption, owner);
    return false;
  }
  return true;
}

}  // namespace rv4410
