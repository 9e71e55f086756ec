#pragma once
// Loading a program. Framed: after "P" and the control block (handled by
// SpeedAndModesFeature), 'D' frames whose address is the image offset
// (256 and up; the control block is 0 to 255), each answered "OK". Raw, for
// a unit that does not identify itself: "BC <hex count>" answered "OK", then
// "D" and exactly that many plain bytes, answered "OK" after the last. Then
// the empty line (the loader's probe) is answered "OK", and "W" writes the
// image into flash ("Begin" lines, "OK"), after which the unit restarts.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/flash_load.h"
#include "sim/speed_and_modes.h"

namespace rv4410::sim {

struct ProgramLoadKnobs : LoadKnobs {
  std::string programOut;  // rv4410-sim: the flashed image goes here (binary); empty: nowhere
};

class ProgramLoadFeature : public DataLoad {
 public:
  // Takes the data frames of program mode from `speeds`.
  ProgramLoadFeature(const ProgramLoadKnobs& knobs, SpeedAndModesFeature& speeds);

  bool OnCommand(UnitModel& unit, std::string_view line) override;
  void OnCapturedByte(UnitModel& unit, std::uint8_t byte) override;
  void OnCaptureIdle(UnitModel& unit) override;
  std::int64_t CaptureIdleUs() const override { return kRawIdleUs; }
  void OnRestart(UnitModel& unit) override;

 private:
  // A raw stream stopped this long before its count is given up.
  static constexpr std::int64_t kRawIdleUs = 2'000'000;

  std::vector<std::uint8_t> NewLoad(const std::vector<std::uint8_t>& controlBlock) override {
    return controlBlock;
  }
  void Committed(UnitModel& unit) override;
  bool ByteCount(UnitModel& unit, std::string_view argument);
  void StartRaw(UnitModel& unit);

  std::string programOut_;
  std::size_t rawCount_ = 0;  // announced by "BC"; 0: none
  std::vector<std::uint8_t> raw_;
  bool skipLineFeed_ = false;
};

}  // namespace rv4410::sim
