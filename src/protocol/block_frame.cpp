#include "protocol/block_frame.h"

#include <array>

#include "checksum/crc32.h"

namespace rv4410 {

namespace {

void PutBigEndian32(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 24);
  out[1] = static_cast<std::uint8_t>(value >> 16);
  out[2] = static_cast<std::uint8_t>(value >> 8);
  out[3] = static_cast<std::uint8_t>(value);
}

// Sends `count` staged bytes; false when the deadline passed before the end.
bool SendStaged(RunState& run, const std::uint8_t* bytes, int count, std::int64_t deadline) {
  for (int i = 0; i < count; ++i) {
    SerialWriteByte(run.link, bytes[i]);
    if (run.host.TickCount() > deadline) return false;
  }
  return true;
}

}  // namespace

int SendBlock(RunState& run, std::uint8_t type, const std::uint8_t* data, int length,
              std::uint32_t address) {
  if (!SerialIsOpen(run.link)) return kSendBlockNoPort;
  // A negative length is a caller's slip: refuse it as unsendable rather than send an empty block.
  if (length > kMaxBlockLength || length < 0) return kSendBlockTooLong;

  SerialWriteByte(run.link, kFrameStart);
  SerialWriteByte(run.link, type);

  std::array<std::uint8_t, kFrameHeaderStaged> header{};
  header[0] = static_cast<std::uint8_t>(length >> 8);
  header[1] = static_cast<std::uint8_t>(length);
  PutBigEndian32(&header[2], address);
  std::uint32_t crc = 0;
  Crc32Init(crc);
  Crc32Update(crc, kFrameStart);
  Crc32Update(crc, type);
  Crc32UpdateBytes(crc, header.data(), 6);
  PutBigEndian32(&header[6], crc);
  if (!SendStaged(run, header.data(), kFrameHeaderStaged, run.host.TickCount() + kHeaderSendMs)) {
    return kSendBlockDeadline;
  }

  std::array<std::uint8_t, kFrameDataStaged> staged;
  int count = 0;
  Crc32Init(crc);
  for (int i = 0; i < length; ++i) {
    if (data[i] == kFrameStart) staged[static_cast<std::size_t>(count++)] = kFrameStart;
    staged[static_cast<std::size_t>(count++)] = data[i];
  }
  Crc32UpdateBytes(crc, data, length);
  PutBigEndian32(&staged[static_cast<std::size_t>(count)], crc);
  count += 4;
  if (!SendStaged(run, staged.data(), count, run.host.TickCount() + kDataSendMs)) {
    return kSendBlockDeadline;
  }
  return kSendBlockOk;
}

}  // namespace rv4410
