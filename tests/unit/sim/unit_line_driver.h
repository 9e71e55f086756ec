#pragma once
// Drives a UnitModel directly, as a line would: text in at a speed, whatever
// the unit sends out read back at a speed.

#include <cstdint>
#include <string>
#include <vector>

#include "checksum/crc32.h"
#include "sim/unit_model.h"

namespace rv4410::test {

inline void PutFrame32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

// A frame as the loader builds it, written here from the wire layout.
inline std::string Frame(std::uint8_t type, const std::vector<std::uint8_t>& data,
                         std::uint32_t address = 0, bool spoilData = false) {
  std::string head{'\x10', static_cast<char>(type)};
  head.push_back(static_cast<char>(data.size() >> 8));
  head.push_back(static_cast<char>(data.size()));
  PutFrame32(head, address);
  std::uint32_t crc = 0;
  Crc32Init(crc);
  Crc32UpdateBytes(crc, reinterpret_cast<const std::uint8_t*>(head.data()), 8);
  PutFrame32(head, crc);
  Crc32Init(crc);
  for (std::uint8_t byte : data) {
    if (byte == 0x10) head.push_back('\x10');
    head.push_back(static_cast<char>(byte));
    Crc32Update(crc, byte);
  }
  PutFrame32(head, spoilData ? crc ^ 1 : crc);
  return head;
}

class UnitLineDriver {
 public:
  explicit UnitLineDriver(sim::UnitModel& unit) : unit_(unit) {}

  // Sends `text` at `baud`, one character after the other from now.
  void Send(std::string_view text, int baud) {
    for (char c : text) {
      nowUs_ += sim::CharacterUs(baud);
      unit_.ReceiveByte(static_cast<std::uint8_t>(c), baud, nowUs_);
    }
  }
  void SendBreak() {
    unit_.ReceiveBreak(nowUs_, nowUs_ + 100'000);
    nowUs_ += 100'000;
  }
  // Lets `ms` pass and returns what arrived meanwhile, as a receiver at `baud` reads it.
  std::string Receive(std::int64_t ms, int baud) {
    std::int64_t until = nowUs_ + ms * 1000;
    std::string got;
    // Step through the unit's events so that its timers run in order.
    while (nowUs_ < until) {
      std::int64_t next = std::min(until, std::max(unit_.NextEventUs(), nowUs_ + 1));
      nowUs_ = next;
      unit_.AdvanceTo(nowUs_);
      std::uint8_t byte = 0;
      while (unit_.TakeOutput(nowUs_, baud, byte)) got.push_back(static_cast<char>(byte));
    }
    return got;
  }
  // Receives until `text` has arrived or `ms` have passed; everything received.
  std::string ReceiveUntil(std::string_view text, std::int64_t ms, int baud) {
    std::int64_t until = nowUs_ + ms * 1000;
    std::string got;
    while (nowUs_ < until && got.find(text) == std::string::npos) {
      nowUs_ = std::min(until, std::max(unit_.NextEventUs(), nowUs_ + 1));
      unit_.AdvanceTo(nowUs_);
      std::uint8_t byte = 0;
      while (unit_.TakeOutput(nowUs_, baud, byte)) got.push_back(static_cast<char>(byte));
    }
    return got;
  }
  std::int64_t NowUs() const { return nowUs_; }

 private:
  sim::UnitModel& unit_;
  std::int64_t nowUs_ = 0;
};

}  // namespace rv4410::test
