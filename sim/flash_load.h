#pragma once
// What the program load and the map load have in common: the answers to
// data blocks with their fault knobs, the flash write "W" ("Begin" lines
// while it works, then "OK", or "Retry") with its own, the hang-up knob, and
// saving what was flashed to a file.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sim/save_file.h"
#include "sim/speed_and_modes.h"
#include "sim/unit_model.h"

namespace rv4410::sim {

// The most bytes one load may reach; an address beyond it is refused.
inline constexpr std::size_t kFlashLimitBytes = 16u << 20;
inline constexpr std::size_t kControlBlockSize = 256;
inline constexpr std::uint8_t kDataFrameType = 0x44;

enum class BlockFault {
  kNone,
  kDrop,       // no answer
  kGarble,     // "OK" with both letters garbled
  kErrorLine,  // "ERROR block rejected"
};

struct BlockKnobs {
  // Block `faultBlock` (counted from 0 in the order blocks first arrive) gets
  // `fault` on its first `faultTimes` attempts; -1: no block.
  int faultBlock = -1;
  int faultTimes = 1;
  BlockFault fault = BlockFault::kNone;
  bool neverAnswer = false;  // no block is ever answered
};

struct FlashKnobs {
  // The write takes eraseUs plus usPerKiB for each KiB flashed.
  std::int64_t eraseUs = 300'000;
  std::int64_t usPerKiB = 1'000;
  // A "Begin write" line this often while writing; 0: only at its start.
  std::int64_t beginEveryUs = 30'000'000;
  int retryTimes = 0;                // answers the first this many "W" with "Retry"
  std::string failLine;              // ends the write with this line instead of "OK"
  bool silent = false;               // hangs after "Begin erase" until its power is cycled
  bool forgetConfiguration = false;  // the parameters read as erased after the write
  bool deafToProbe = false;          // the empty line after the data gets no answer
};

enum class HangUpPhase {
  kNever,
  kBlock,    // when data block `block` arrives (program or map)
  kRawData,  // half way through a raw program stream
  kFlash,    // after the first "Begin" line of a flash write
  kRestart,  // as the unit restarts after a flash write
};

struct HangUpKnobs {
  HangUpPhase phase = HangUpPhase::kNever;
  int block = 0;
};

// "block:K", "raw", "flash" or "restart"; false for anything else.
bool ParseHangUp(const std::string& text, HangUpKnobs& knobs);
// "drop", "garble" or "error".
bool ParseBlockFault(const std::string& text, BlockFault& fault);

// The answers to the data blocks of one load.
class BlockAnswers {
 public:
  explicit BlockAnswers(const BlockKnobs& knobs) : knobs_(knobs) {}
  // Forgets the blocks of an earlier load.
  void Reset();
  // The block index of `address` (a new one for a new address) and its attempt (from 1).
  int Index(std::uint32_t address);
  int Attempts(int index) const;
  // The answer to an attempt of block `index` that was stored; empty: none.
  std::string Answer(int index) const;
  std::size_t Blocks() const { return indices_.size(); }

 private:
  const BlockKnobs& knobs_;
  std::map<std::uint32_t, int> indices_;
  std::vector<int> attempts_;
};

// The flash write of one load.
class FlashWrite {
 public:
  FlashWrite(const FlashKnobs& flash, const HangUpKnobs& hangUp) : flash_(flash), hangUp_(hangUp) {}
  // Answers "W" for `bytes` bytes. `commit` runs when the write succeeded,
  // before the unit restarts.
  void Start(UnitModel& unit, std::size_t bytes, std::function<void()> commit);
  int Requests() const { return requests_; }
  int Retries() const { return retries_; }

 private:
  void BeginLines(UnitModel& unit, std::int64_t endUs);
  void Finish(UnitModel& unit, std::function<void()> commit);

  const FlashKnobs& flash_;
  const HangUpKnobs& hangUp_;
  int requests_ = 0;
  int retries_ = 0;
};

struct LoadKnobs {
  BlockKnobs blocks;
  FlashKnobs flash;
  HangUpKnobs hangUp;
};

// A load of either kind: after a control block accepted in its load mode,
// 'D' frames from address 256 are stored at (address - dataStart) of the
// load's bytes and answered as the block knobs say; the empty line (the
// loader's probe) is answered "OK" while a load is held, and "W" flashes it.
class DataLoad : public UnitFeature {
 public:
  // The load under way (for a program: control block first) and what the
  // last successful flash write committed, and how many did.
  const std::vector<std::uint8_t>& Received() const { return received_; }
  bool HasLoad() const { return hasLoad_; }
  const std::vector<std::uint8_t>& Flashed() const { return flashed_; }
  int FlashCommits() const { return commits_; }
  // Data blocks of the current load (distinct addresses), and attempts of block `index`.
  std::size_t Blocks() const { return answers_.Blocks(); }
  int Attempts(int index) const { return answers_.Attempts(index); }
  const FlashWrite& Flash() const { return flash_; }
  LoadKnobs& Knobs() { return load_; }

 protected:
  // Takes the data frames of load mode `mode` from `speeds`; `name` names
  // the load in the journal ("program", "map").
  DataLoad(const LoadKnobs& knobs, SpeedAndModesFeature& speeds, char mode, std::size_t dataStart,
           std::string name);

  // Looks for a control block accepted in this load's mode since the last look.
  void Sync();
  // A new load begins with the accepted `controlBlock`; returns its first bytes.
  virtual std::vector<std::uint8_t> NewLoad(const std::vector<std::uint8_t>& controlBlock) = 0;
  // After the flashed bytes are in Flashed(): what else a commit keeps.
  virtual void Committed(UnitModel& /*unit*/) {}
  // The probe and "W"; false for other lines.
  bool ProbeOrFlash(UnitModel& unit, std::string_view line);
  // Drops what was received; flashed bytes stay.
  void Forget();
  SpeedAndModesFeature& Speeds() { return speeds_; }
  void Hold(std::vector<std::uint8_t> bytes);

 private:
  std::string DataBlock(UnitModel& unit, const DecodedFrame& frame);
  void Commit(UnitModel& unit);

  LoadKnobs load_;
  SpeedAndModesFeature& speeds_;
  char mode_;
  std::size_t dataStart_;
  std::string name_;
  BlockAnswers answers_;
  FlashWrite flash_;
  int controlBlocksSeen_ = 0;
  bool hasLoad_ = false;
  std::vector<std::uint8_t> received_;
  std::vector<std::uint8_t> flashed_;
  int commits_ = 0;
};

// Wipes the unit's parameters as an erased flash leaves them (all ones).
void ForgetConfiguration(UnitModel& unit);

}  // namespace rv4410::sim
