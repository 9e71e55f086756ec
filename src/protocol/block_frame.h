#pragma once
// The block frame for bulk data: DLE, type, length, address, a header check,
// the data with every 0x10 doubled, and a data check. The loader only sends
// frames; the unit answers each with an ordinary reply line.

#include <cstdint>

#include "protocol/run_state.h"

namespace rv4410 {

inline constexpr std::uint8_t kFrameStart = 0x10;        // DLE
inline constexpr std::uint8_t kControlBlockType = 0x43;  // "C"
inline constexpr std::uint8_t kDataBlockType = 0x44;     // "D"
inline constexpr int kMaxBlockLength = 4096;
// The frame after the type byte, staged before sending: 10 header bytes, and
// at worst every data byte doubled plus the 4-byte data check.
inline constexpr int kFrameHeaderStaged = 10;
inline constexpr int kFrameDataStaged = 2 * kMaxBlockLength + 4;
// Deadlines for handing each part of the frame to the port.
inline constexpr std::int64_t kHeaderSendMs = 200;
inline constexpr std::int64_t kDataSendMs = 4296;

inline constexpr int kSendBlockOk = 0;
inline constexpr int kSendBlockNoPort = -1;
inline constexpr int kSendBlockTooLong = -2;
inline constexpr int kSendBlockDeadline = -3;

// Sends one frame; does not wait for the unit's answer. 0 when sent completely;
// -1 no port (nothing sent); -2 length above 4096 or negative (nothing sent); -3 a sending
// deadline passed (the frame is incomplete).
int SendBlock(RunState& run, std::uint8_t type, const std::uint8_t* data, int length,
              std::uint32_t address);

}  // namespace rv4410
