#pragma once
// The unit's frame decoder: takes the bytes after a frame start (DLE), undoes
// the doubled DLEs in the data, and checks both CRCs. Written apart from the
// loader's sender so that every frame the loader sends is checked by other code.

#include <cstdint>
#include <vector>

namespace rv4410::sim {

struct DecodedFrame {
  std::uint8_t type = 0;
  std::uint16_t length = 0;
  std::uint32_t address = 0;
  std::vector<std::uint8_t> data;
  bool headerCheckOk = false;
  bool dataCheckOk = false;
};

// The check of the frames, computed bit by bit: reflected polynomial
// 0xEDB88320, start 0xFFFFFFFF, no final inversion.
std::uint32_t FrameCrc(const std::uint8_t* bytes, std::size_t count,
                       std::uint32_t start = 0xFFFFFFFFu);

class FrameDecoder {
 public:
  enum class State { kType, kHeader, kData, kDataCheck, kDone };

  // Starts a frame whose DLE has just arrived.
  void Start();
  // Feeds one byte; true when the frame is complete (see Frame()).
  bool Feed(std::uint8_t byte);
  State Current() const { return state_; }
  const DecodedFrame& Frame() const { return frame_; }

 private:
  State state_ = State::kDone;
  DecodedFrame frame_;
  std::vector<std::uint8_t> header_;  // type, length, address, header check
  std::vector<std::uint8_t> check_;
  bool pendingDle_ = false;
};

}  // namespace rv4410::sim
