#include "sim/babble.h"

#include <string_view>

namespace rv4410::sim {

namespace {

using namespace std::string_view_literals;

constexpr std::size_t kLongLineLength = 300;
// Spaces are queued a batch at a time, so the unit's output stays bounded.
constexpr std::size_t kSpacesPerBatch = 64;

}  // namespace

bool ParseBabble(const std::string& text, Babble& babble) {
  if (text == "nul") {
    babble = Babble::kNulBytes;
  } else if (text == "ff") {
    babble = Babble::kHighBytes;
  } else if (text == "long-line") {
    babble = Babble::kLongLine;
  } else if (text == "spaces") {
    babble = Babble::kEndlessSpaces;
  } else {
    return false;
  }
  return true;
}

void BabbleFeature::OnAttention(UnitModel& unit) {
  switch (babble_) {
    case Babble::kNone:
      break;
    case Babble::kNulBytes:
      unit.Send("\0\0 \0\n\0READY\r\n"sv);
      break;
    case Babble::kHighBytes:
      unit.Send("\xFF\x80\xFF\r\n"sv);
      break;
    case Babble::kLongLine:
      unit.Send(std::string(kLongLineLength, 'L') + "\r\n");
      break;
    case Babble::kEndlessSpaces:
      if (!spacesRunning_) {
        spacesRunning_ = true;
        unit.At(unit.OutputDoneUs(), [this, &unit] { SendSpaces(unit); });
      }
      break;
  }
}

void BabbleFeature::SendSpaces(UnitModel& unit) {
  // A silent unit sends nothing, and its output would never fill up the time.
  if (unit.Knobs().silent) return;
  unit.SendAt(unit.OutputDoneUs(), std::string(kSpacesPerBatch, ' '));
  unit.At(unit.OutputDoneUs(), [this, &unit] { SendSpaces(unit); });
}

}  // namespace rv4410::sim
