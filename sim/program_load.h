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

struct ProgramLoadKnobs {
  BlockKnobs blocks;
  FlashKnobs flash;
  HangUpKnobs hangUp;
  std::string programOut;  // rv4410-sim: the flashed image goes here (binary); empty: nowhere
};

class ProgramLoadFeature : public UnitFeature {
 public:
  // Takes the data frames of program mode from `speeds`.
  ProgramLoadFeature(ProgramLoadKnobs knobs, SpeedAndModesFeature& speeds);

  bool OnCommand(UnitModel& unit, std::string_view line) override;
  void OnCapturedByte(UnitModel& unit, std::uint8_t byte) override;
  void OnCaptureIdle(UnitModel& unit) override;
  std::int64_t CaptureIdleUs() const override { return kRawIdleUs; }
  void OnRestart(UnitModel& unit) override;

  ProgramLoadKnobs& Knobs() { return knobs_; }
  // The image received so far (control block, then data; gaps are zero).
  const std::vector<std::uint8_t>& Received() const { return received_; }
  bool HasLoad() const { return hasLoad_; }
  // The image the last successful flash write committed, and how many did.
  const std::vector<std::uint8_t>& Flashed() const { return flashed_; }
  int FlashCommits() const { return commits_; }
  // Data blocks of the current load (distinct addresses), and attempts of block `index`.
  std::size_t Blocks() const { return answers_.Blocks(); }
  int Attempts(int index) const { return answers_.Attempts(index); }
  const FlashWrite& Flash() const { return flash_; }

 private:
  // A raw stream stopped this long before its count is given up.
  static constexpr std::int64_t kRawIdleUs = 2'000'000;

  // Starts a new load when a control block came in program mode since the last look.
  void Sync();
  std::string DataBlock(UnitModel& unit, const DecodedFrame& frame);
  bool ByteCount(UnitModel& unit, std::string_view argument);
  void StartRaw(UnitModel& unit);
  void Commit(UnitModel& unit);

  ProgramLoadKnobs knobs_;
  SpeedAndModesFeature& speeds_;
  BlockAnswers answers_;
  FlashWrite flash_;
  int controlBlocksSeen_ = 0;
  bool hasLoad_ = false;
  std::vector<std::uint8_t> received_;
  std::size_t rawCount_ = 0;  // announced by "BC"; 0: none
  std::vector<std::uint8_t> raw_;
  bool skipLineFeed_ = false;
  std::vector<std::uint8_t> flashed_;
  int commits_ = 0;
};

}  // namespace rv4410::sim
