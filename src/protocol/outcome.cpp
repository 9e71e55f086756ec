#include "protocol/outcome.h"

namespace rv4410 {

Outcome Outcome::Asking(const char* text) const {
  if (WentThrough() || Cancelled()) return *this;
  Outcome asked = *this;
  asked.reaction = PageReaction::kAsks;
  asked.question = text;
  return asked;
}

Outcome Outcome::Leaving() const {
  if (WentThrough() || Cancelled()) return *this;
  Outcome left = *this;
  left.reaction = PageReaction::kLeaves;
  left.question.clear();
  return left;
}

Outcome Outcome::Asks(Ending ending, const char* text) {
  Outcome outcome;
  outcome.ending = ending;
  outcome.reaction = PageReaction::kAsks;
  outcome.question = text;
  return outcome;
}

Outcome Outcome::StaysOpen(Ending ending) {
  Outcome outcome;
  outcome.ending = ending;
  return outcome;
}

Outcome Outcome::UnitError(const char* reply, const char* text) {
  Outcome outcome = Asks(Ending::kUnitError, text);
  outcome.reply = reply;
  return outcome;
}

}  // namespace rv4410
