// The simulated unit's frame decoder on arbitrary bytes after a frame start:
// every frame it completes holds exactly its length of data, and a frame that
// passes both checks is what the loader's own CRC says it should be.

#include "checksum/crc32.h"
#include "sim/frame_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  rv4410::sim::FrameDecoder decoder;
  decoder.Start();
  for (std::size_t i = 0; i < size; ++i) {
    if (!decoder.Feed(data[i])) continue;
    const rv4410::sim::DecodedFrame& frame = decoder.Frame();
    if (frame.data.size() != frame.length) __builtin_trap();
    if (frame.dataCheckOk) {
      std::uint32_t crc = 0;
      rv4410::Crc32Init(crc);
      rv4410::Crc32UpdateBytes(crc, frame.data.data(), static_cast<long>(frame.data.size()));
      if (crc != rv4410::sim::FrameCrc(frame.data.data(), frame.data.size())) __builtin_trap();
    }
    decoder.Start();  // the rest of the input is the next frame
  }
  return 0;
}
