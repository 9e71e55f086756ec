#pragma once
// The simulated RV4410 unit: a pure state machine with no I/O. Bytes come in
// with the line speed they were sent at and the time they arrived; bytes go out
// at the unit's own line speed, each with the time its last bit leaves. A byte
// sent at another speed than the receiver's arrives garbled, as on a real line.
//
// The core knows the line, command-line framing and the attention handshake.
// Everything else the unit does is a UnitFeature: each command family
// (identification, speed commands, frames, configuration exchanges, flash
// write) is a feature in a file of its own, with its own fault knobs.

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/journal.h"

namespace rv4410::sim {

inline constexpr std::int64_t kNeverUs = std::numeric_limits<std::int64_t>::max();
inline constexpr std::uint8_t kCan = 0x18;
inline constexpr int kCansForAttention = 5;
// A command line longer than this is junk and is dropped.
inline constexpr std::size_t kCommandLineLimit = 512;

// Microseconds one character takes at `baud` (start, 8 data bits, stop).
std::int64_t CharacterUs(int baud);
// What a receiver set to another speed makes of a byte: never a character the
// protocol gives meaning to.
std::uint8_t Garbled(std::uint8_t byte);

struct LineKnobs {
  int speed = 9600;                  // the speed the unit starts at (and answers at)
  bool silent = false;               // never sends anything
  std::int64_t replyDelayUs = 2000;  // think time before each reply
  int cableMaxBaud = 0;              // the highest speed the cable carries; 0: any
  // How long a restart ("RESET", or after a flash write) keeps the unit deaf and mute.
  std::int64_t restartUs = 1'500'000;
};

class UnitModel;

class UnitFeature {
 public:
  virtual ~UnitFeature() = default;
  // A complete command line in command mode, without its line end ("QP",
  // "BR 9600"). True when this feature took it.
  virtual bool OnCommand(UnitModel& /*unit*/, std::string_view /*line*/) { return false; }
  // A byte in command mode before it joins a line (a frame start, say). True
  // when this feature took it, usually to capture the bytes that follow.
  virtual bool OnCommandByte(UnitModel& /*unit*/, std::uint8_t /*byte*/) { return false; }
  // A byte while this feature has captured the input.
  virtual void OnCapturedByte(UnitModel& /*unit*/, std::uint8_t /*byte*/) {}
  // No byte came for CaptureIdleUs while captured; the capture has ended.
  virtual void OnCaptureIdle(UnitModel& /*unit*/) {}
  virtual std::int64_t CaptureIdleUs() const { return 250'000; }
  // The line was held in break.
  virtual void OnBreak(UnitModel& /*unit*/) {}
  // The unit answered the attention handshake.
  virtual void OnAttention(UnitModel& /*unit*/) {}
  // The unit restarts: whatever was under way is gone (kept memory stays).
  virtual void OnRestart(UnitModel& /*unit*/) {}
};

class UnitModel {
 public:
  explicit UnitModel(LineKnobs knobs = {});

  // Adds a feature; features are asked in the order they were added.
  UnitFeature& Add(std::unique_ptr<UnitFeature> feature);
  template <typename Feature, typename... Args>
  Feature& Make(Args&&... args) {
    return static_cast<Feature&>(Add(std::make_unique<Feature>(std::forward<Args>(args)...)));
  }

  // The first feature of type `Feature`, or nullptr.
  template <typename Feature>
  Feature* Find() const {
    for (const auto& feature : features_) {
      if (auto* found = dynamic_cast<Feature*>(feature.get())) return found;
    }
    return nullptr;
  }

  // --- The line, as a transport drives it ---
  void ReceiveByte(std::uint8_t byte, int senderBaud, std::int64_t atUs);
  void ReceiveBreak(std::int64_t fromUs, std::int64_t toUs);
  // Runs timers up to `nowUs`.
  void AdvanceTo(std::int64_t nowUs);
  // The next timer or outgoing byte; kNeverUs when idle.
  std::int64_t NextEventUs() const;
  // The next outgoing byte whose last bit has left by `untilUs`, as a receiver
  // at `receiverBaud` sees it.
  bool TakeOutput(std::int64_t untilUs, int receiverBaud, std::uint8_t& byte);

  // --- Services for features ---
  std::int64_t NowUs() const { return nowUs_; }
  int Speed() const { return speed_; }
  // Changes the speed from now on; bytes already queued keep the speed they leave at.
  void SetSpeed(int baud) { speed_ = baud; }
  // Sends `text` after the think time, behind anything queued.
  void Send(std::string_view text);
  // Sends `text` starting no earlier than `atUs`.
  void SendAt(std::int64_t atUs, std::string_view text);
  // When the last queued byte will have left.
  std::int64_t OutputDoneUs() const;
  // Runs `action` at `atUs`.
  void At(std::int64_t atUs, std::function<void()> action);
  // Routes every following byte to `feature` until Release().
  void Capture(UnitFeature* feature);
  void Release();
  bool Captured() const { return capture_ != nullptr; }
  const LineKnobs& Knobs() const { return knobs_; }
  LineKnobs& MutableKnobs() { return knobs_; }

  // Restarts the unit, as "RESET" or the end of a flash write does (and as a
  // test may, to cycle its power): what is under way and not yet sent is
  // lost, every feature hears OnRestart, and for knobs.restartUs the unit
  // hears and sends nothing; then it is back at its start speed in command
  // mode. Memory (parameters, flash) is the features' to keep.
  void Restart();
  // The unit hangs, deaf and mute, until the next Restart().
  void Stall();
  bool Restarting() const { return restarting_; }
  int Restarts() const { return restarts_; }
  // At work (writing flash, say): the unit keeps its line speed meanwhile.
  void SetBusy(bool busy) { busy_ = busy; }
  bool Busy() const { return busy_; }
  // Drops the line for good, as a unit that pulls its connector: the
  // transport makes the loader's device go away. `phase` goes to the journal.
  void HangUp(std::string_view phase);
  bool HungUp() const { return hungUp_; }
  Journal& Log() { return journal_; }
  const Journal& Log() const { return journal_; }

  // --- What a test may look at ---
  const std::vector<std::string>& Commands() const { return commands_; }
  // The byte that ended the last command line: '\r' or '\n'.
  char LineEnd() const { return lineEnd_; }
  int Attentions() const { return attentions_; }
  int Breaks() const { return breaks_; }
  std::size_t GarbledBytes() const { return garbledBytes_; }

 private:
  struct Outgoing {
    std::uint8_t byte;
    int baud;
    std::int64_t leavesUs;
  };
  struct Timer {
    std::int64_t atUs;
    std::uint64_t order;
    std::function<void()> action;
  };

  // Above the cable's highest speed bytes garble both ways.
  bool CableCarries(int baud) const;
  void CommandByte(std::uint8_t byte);
  void DispatchLine();
  void NoteCaptureActivity();
  void CheckCaptureIdle();
  // Deaf and mute from now on, with nothing under way.
  void Stop();

  LineKnobs knobs_;
  int speed_;
  std::int64_t nowUs_ = 0;
  std::vector<std::unique_ptr<UnitFeature>> features_;
  UnitFeature* capture_ = nullptr;
  std::int64_t captureIdleAtUs_ = kNeverUs;
  std::string line_;
  bool lineOverflow_ = false;
  int cans_ = 0;
  std::deque<Outgoing> output_;
  std::int64_t outputFreeUs_ = 0;
  std::vector<Timer> timers_;
  std::uint64_t timerOrder_ = 0;
  std::vector<std::string> commands_;
  char lineEnd_ = '\r';
  int attentions_ = 0;
  int breaks_ = 0;
  std::size_t garbledBytes_ = 0;
  bool restarting_ = false;
  int restarts_ = 0;
  bool busy_ = false;
  bool hungUp_ = false;
  Journal journal_;
};

}  // namespace rv4410::sim
