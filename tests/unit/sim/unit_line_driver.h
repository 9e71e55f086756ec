#pragma once
// Drives a UnitModel directly, as a line would: text in at a speed, whatever
// the unit sends out read back at a speed.

#include <cstdint>
#include <string>

#include "sim/unit_model.h"

namespace rv4410::test {

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
  std::int64_t NowUs() const { return nowUs_; }

 private:
  sim::UnitModel& unit_;
  std::int64_t nowUs_ = 0;
};

}  // namespace rv4410::test
