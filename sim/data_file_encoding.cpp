#include "sim/data_file_encoding.h"

#include <algorithm>

#include "sim/frame_decoder.h"

namespace rv4410::sim {

std::vector<std::uint8_t> PatternBytes(std::size_t count, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(count);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

void PutBig32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes.at(offset + 3 - static_cast<std::size_t>(i)) =
        static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetBig32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes.at(offset)) << 24 |
         static_cast<std::uint32_t>(bytes.at(offset + 1)) << 16 |
         static_cast<std::uint32_t>(bytes.at(offset + 2)) << 8 | bytes.at(offset + 3);
}

void PutLittle32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes.at(offset + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> (8 * i));
}

std::vector<std::uint8_t> BuildProgramImage(const ProgramImagePlan& plan) {
  std::vector<std::uint8_t> image = PatternBytes(plan.length, plan.seed);
  PutBig32(image, 8, static_cast<std::uint32_t>(plan.length));
  PutBig32(image, 248, plan.loaderVersion);
  std::uint32_t end = plan.olderEnd != 0 ? plan.olderEnd : static_cast<std::uint32_t>(plan.length);
  std::size_t crcEnd = plan.layout == ChecksumLayout::kNewer ? plan.length : end;
  std::uint32_t crc = FrameCrc(image.data() + 256, crcEnd > 256 ? crcEnd - 256 : 0);
  switch (plan.layout) {
    case ChecksumLayout::kNewer:
      PutBig32(image, 244, crc);
      break;
    case ChecksumLayout::kOlder:
      PutBig32(image, 244, 0);
      PutBig32(image, 16, end);
      PutBig32(image, 212, crc);
      break;
    case ChecksumLayout::kOlderFallback:
      PutBig32(image, 244, 0xFFFFFFFFu);
      PutBig32(image, 16, end);
      PutBig32(image, 212, 0xFFFFFFFFu);
      PutBig32(image, 224, crc);
      break;
  }
  if (plan.controlBlockCrc) {
    SealControlBlock(image);
  } else {
    PutBig32(image, 252, 0);
  }
  return image;
}

void SealControlBlock(std::vector<std::uint8_t>& image) {
  PutBig32(image, 252, FrameCrc(image.data(), 251));
}

std::string HexText(const std::vector<std::uint8_t>& bytes, std::size_t perLine) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2 + bytes.size() / perLine * 2 + 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
    if ((i + 1) % perLine == 0) text += "\r\n";
  }
  return text;
}

std::vector<std::uint8_t> BuildMapFile(const MapFilePlan& plan) {
  std::size_t length = plan.data.size();
  std::size_t total = length + 1352 + plan.furtherBytes;
  std::vector<std::uint8_t> file = PatternBytes(total, plan.seed);
  for (std::size_t i = 0; i < 64; ++i) file[i] = 0;
  PutLittle32(file, 0, static_cast<std::uint32_t>(plan.expirationDate));
  PutLittle32(file, 12, plan.format);
  PutLittle32(file, 16, plan.featureMask);
  PutLittle32(file, 24,
              plan.overrideDataLength ? plan.dataLength : static_cast<std::uint32_t>(length));
  PutLittle32(file, 28,
              plan.overrideTotalLength ? plan.totalLength : static_cast<std::uint32_t>(total));
  PutLittle32(file, 32, static_cast<std::uint32_t>(plan.effectiveDate));
  std::copy(plan.data.begin(), plan.data.end(), file.begin() + kMapDataAt);
  ResealMapFile(file);
  return file;
}

void ResealMapFile(std::vector<std::uint8_t>& file) {
  PutLittle32(file, file.size() - 4, FrameCrc(file.data(), file.size() - 4));
}

}  // namespace rv4410::sim
