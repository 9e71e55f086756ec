#pragma once
// How an operation ended. Every operation with the unit (the handshake, the
// identification query, the transfer set-up, the configuration exchanges and
// the uploads) returns one. Operations never end a page, never ask
// "Try again?" and never close the port on their own account: the page's
// logic does that with the outcome, and the command line maps the outcome to
// its exit code. Nothing reads a text of the outcome to decide anything.

#include <string>

namespace rv4410 {

enum class Ending {
  // The operation reached its end.
  kDone,
  // The user ended the page (Cancel, Back, Exit, closing it, a signal on the
  // command line): the port was closed at once and nothing more is said.
  kCancelled,
  // The device went away under the operation (a hang-up, an adapter pulled,
  // another device at its path): nothing more can reach the unit. `message`
  // says so, for the log.
  kLineGone,
  // The unit gave no answer in time: a reply's limit, or the run's limit on a
  // wait that only the user ends otherwise (RunState::waitLimitMs). In the
  // latter case `message` names the step.
  kNoAnswer,
  // The unit answered, but not as it should; `reply` keeps what it sent.
  kUnitError,
  // A file the operation was given cannot be used, or the map cannot go to
  // this unit; nothing was sent. The user has been told; `reason` keeps why.
  kFileRefused,
  // The port would not open.
  kNoPort,
  // The operation stopped for a reason it has told (a box and the log): a
  // file it could not write, a configuration that must not go to this unit,
  // a question of its own answered so that nothing goes ahead.
  kStopped,
  // The operation went on to its end, but not everything it was to send went
  // (a configuration file that failed while being sent, told in a box). What
  // follows it goes on as after kDone; the run as a whole has failed.
  kIncomplete,
};

// What the page does with an ending other than kDone, kIncomplete and kCancelled.
enum class PageReaction {
  kStaysOpen,  // the page stays open, its log saying what happened; Exit leaves it
  kAsks,       // asks `question` with AskRetryAfterError: 4 (find the unit again) on Yes, 0 on No
  kLeaves,     // ends with 0, without a question
};

struct Outcome {
  Ending ending = Ending::kDone;
  PageReaction reaction = PageReaction::kStaysOpen;
  // kAsks: the question ("...\nTry again?").
  std::string question;
  // What happened, in words the log has not had yet: the page's logic logs
  // it before it reacts (a line gone, a step that ran out of time).
  std::string message;
  // kUnitError: the unit's reply as it came.
  std::string reply;
  // kFileRefused: why, as the box said. An ending that leaves the page open
  // may say here why, in a few words (else the page says it from the ending).
  std::string reason;

  bool Done() const { return ending == Ending::kDone; }
  bool Cancelled() const { return ending == Ending::kCancelled; }
  // Whatever follows the operation may go on (kDone or kIncomplete).
  bool WentThrough() const { return ending == Ending::kDone || ending == Ending::kIncomplete; }

  // The same ending, asked as `text` instead: a caller whose page asks its
  // own question for every failure of a step. Done and cancelled stay as they are.
  Outcome Asking(const char* text) const;
  // The same ending, the page ending with 0 without a question.
  Outcome Leaving() const;

  static Outcome Ok() { return {}; }
  static Outcome StoppedByUser() { return StaysOpen(Ending::kCancelled); }
  // An ending whose page asks `text`.
  static Outcome Asks(Ending ending, const char* text);
  // An ending that leaves the page open.
  static Outcome StaysOpen(Ending ending);
  // The unit's wrong reply, its page asking `text`.
  static Outcome UnitError(const char* reply, const char* text);
};

// One step of an operation: the operation returns the step's outcome unless
// the step reached its end.
#define RV4410_TRY(step)                                     \
  do {                                                       \
    if (::rv4410::Outcome tried_ = (step); !tried_.Done()) { \
      return tried_;                                         \
    }                                                        \
  } while (false)

}  // namespace rv4410
