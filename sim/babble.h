#pragma once
// A unit that follows each "OK" with bad input, for the loader to survive on a
// real port: NUL bytes, bytes with the high bit set, a line longer than any
// reply may be, or spaces without end.

#include <string>

#include "sim/unit_model.h"

namespace rv4410::sim {

enum class Babble {
  kNone,
  kNulBytes,       // NUL bytes, spaces and line feeds, then the line "READY"
  kHighBytes,      // the line 0xFF 0x80 0xFF
  kLongLine,       // a line of 300 characters
  kEndlessSpaces,  // spaces at the line's full rate, never ending
};

// "nul", "ff", "long-line" or "spaces"; false for anything else.
bool ParseBabble(const std::string& text, Babble& babble);

class BabbleFeature : public UnitFeature {
 public:
  explicit BabbleFeature(Babble babble) : babble_(babble) {}
  void OnAttention(UnitModel& unit) override;
  void OnRestart(UnitModel& /*unit*/) override { spacesRunning_ = false; }

 private:
  void SendSpaces(UnitModel& unit);

  Babble babble_;
  bool spacesRunning_ = false;
};

}  // namespace rv4410::sim
