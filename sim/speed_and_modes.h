#pragma once
// Speed commands, load modes and the control block: "BR <speed>" answered
// "OK" at the old speed with the new one in force after it; "P" and "M"
// answered "OK"; a "C" frame checked and answered "OK", or an error line.
// A break brings the unit back to 9600 baud; where a break cannot be seen (a
// pseudo-terminal), a quiet spell without a valid command does the same.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/frame_decoder.h"
#include "sim/unit_model.h"

namespace rv4410::sim {

inline constexpr int kHomeBaud = 9600;

struct SpeedKnobs {
  bool refuseSpeed = false;     // answers every speed command with an error line
  bool ignoreLoadMode = false;  // never answers "P" or "M"
  // Back to 9600 after this long at another speed without a valid command; 0: never.
  std::int64_t quietReturnUs = 0;
  // The same after a data block, when the loader may wait longer than a
  // quiet spell for an answer that went missing before it sends the block
  // again; the longer of the two counts.
  std::int64_t dataQuietReturnUs = 0;
  // Where the accepted control block is written (control_block.bin); empty: nowhere.
  std::string stateDir;
};

// Takes a checked frame of another type than "C" and returns the reply line.
using FrameHandler = std::function<std::string(UnitModel&, const DecodedFrame&)>;

class SpeedAndModesFeature : public UnitFeature {
 public:
  explicit SpeedAndModesFeature(SpeedKnobs knobs) : knobs_(std::move(knobs)) {}

  bool OnCommand(UnitModel& unit, std::string_view line) override;
  bool OnCommandByte(UnitModel& unit, std::uint8_t byte) override;
  void OnCapturedByte(UnitModel& unit, std::uint8_t byte) override;
  void OnCaptureIdle(UnitModel& unit) override;
  void OnBreak(UnitModel& unit) override;
  void OnRestart(UnitModel& unit) override;

  // Frames of `type` (data blocks, say) go to `handler` once both checks
  // passed, and its reply is sent (none when empty); without a handler they
  // are answered with an error line. With `mode` ('P' or 'M') the handler
  // takes them only in that load mode, before one for any mode (0).
  void HandleFrames(std::uint8_t type, FrameHandler handler, char mode = 0) {
    frameHandlers_[HandlerKey(type, mode)] = std::move(handler);
  }

  SpeedKnobs& Knobs() { return knobs_; }
  // 'P', 'M', or 0 before any load-mode command.
  char LoadMode() const { return loadMode_; }
  // A load that starts without a load-mode command (the raw program load).
  void SetLoadMode(char mode) { loadMode_ = mode; }
  // The load mode in force when the last control block was accepted.
  char ControlBlockMode() const { return controlBlockMode_; }
  // The last control block the unit accepted, and how many it accepted.
  const std::vector<std::uint8_t>& ControlBlock() const { return controlBlock_; }
  int ControlBlocks() const { return controlBlocks_; }
  // Every frame the unit decoded, accepted or not.
  const std::vector<DecodedFrame>& Frames() const { return frames_; }

 private:
  bool SpeedCommand(UnitModel& unit, std::string_view argument);
  void FrameDone(UnitModel& unit);
  std::string FrameReply(UnitModel& unit, const DecodedFrame& frame);
  void SaveControlBlock() const;
  static int HandlerKey(std::uint8_t type, char mode) {
    return type << 8 | static_cast<unsigned char>(mode);
  }
  void ArmQuietReturn(UnitModel& unit, std::int64_t afterUs = 0);
  void QuietCheck(UnitModel& unit, std::uint64_t generation);

  SpeedKnobs knobs_;
  char loadMode_ = 0;
  char controlBlockMode_ = 0;
  FrameDecoder decoder_;
  bool discarding_ = false;  // a frame whose header failed: wait for the sender to stop
  std::vector<std::uint8_t> controlBlock_;
  int controlBlocks_ = 0;
  std::vector<DecodedFrame> frames_;
  std::map<int, FrameHandler> frameHandlers_;
  std::uint64_t quietGeneration_ = 0;
  std::size_t commandsSeen_ = 0;
  int attentionsSeen_ = 0;
};

}  // namespace rv4410::sim
