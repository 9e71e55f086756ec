#include "sim/frame_decoder.h"

namespace rv4410::sim {

namespace {

constexpr std::uint8_t kDle = 0x10;

std::uint32_t BigEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

}  // namespace

std::uint32_t FrameCrc(const std::uint8_t* bytes, std::size_t count, std::uint32_t start) {
  std::uint32_t crc = start;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return crc;
}

void FrameDecoder::Start() {
  state_ = State::kType;
  frame_ = DecodedFrame{};
  header_.clear();
  check_.clear();
  pendingDle_ = false;
}

bool FrameDecoder::Feed(std::uint8_t byte) {
  switch (state_) {
    case State::kType:
    case State::kHeader:
      header_.push_back(byte);
      state_ = State::kHeader;
      // type (1), length (2), address (4), header check (4)
      if (header_.size() < 11) return false;
      frame_.type = header_[0];
      frame_.length = static_cast<std::uint16_t>(header_[1] << 8 | header_[2]);
      frame_.address = BigEndian32(&header_[3]);
      {
        std::uint8_t covered[8] = {kDle};
        for (int i = 0; i < 7; ++i) covered[i + 1] = header_[static_cast<std::size_t>(i)];
        frame_.headerCheckOk = FrameCrc(covered, 8) == BigEndian32(&header_[7]);
      }
      state_ = frame_.length == 0 ? State::kDataCheck : State::kData;
      return false;
    case State::kData:
      if (byte == kDle && !pendingDle_) {
        pendingDle_ = true;
        return false;
      }
      // A DLE in the data comes twice; a lone one is dropped, and the data check fails.
      pendingDle_ = false;
      frame_.data.push_back(byte);
      if (frame_.data.size() == frame_.length) state_ = State::kDataCheck;
      return false;
    case State::kDataCheck:
      check_.push_back(byte);
      if (check_.size() < 4) return false;
      frame_.dataCheckOk =
          FrameCrc(frame_.data.data(), frame_.data.size()) == BigEndian32(check_.data());
      state_ = State::kDone;
      return true;
    case State::kDone:
      break;
  }
  return false;
}

}  // namespace rv4410::sim
