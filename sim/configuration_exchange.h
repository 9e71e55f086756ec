#pragma once
// The unit's configuration exchanges: its parameter list read out with "RX"
// (checked: each line carries a check character and waits for the loader's
// verdict and copy) or "RP" (plain: the whole list at once), and written with
// "WX" (checked: each line answered "OK" when its check character matches) or
// "WP" (plain). Both lists end with an empty line; a written list is answered
// "OK" as a whole.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/parameter_store.h"
#include "sim/unit_model.h"

namespace rv4410::sim {

enum class LineDamage { kInvalidCharacter, kBadValueField };

struct ConfigurationKnobs {
  bool checkedExchange = true;  // false: "RX" and "WX" go unanswered
  // Line `damagedLine` (from 0) goes out damaged in the first
  // `damagedAttempts` reads (each "RX" or "RP" is one).
  int damagedLine = -1;
  int damagedAttempts = 1;
  LineDamage damage = LineDamage::kBadValueField;
  // Line `wrongCheckLine` carries a wrong check character on its first
  // `wrongCheckSends` sends; after "ERROR line invalid" the unit sends a line
  // again, three sends in all.
  int wrongCheckLine = -1;
  int wrongCheckSends = 1;
  int silentAfterLines = -1;  // sends this many lines of a read, then nothing more
  // Stops in the middle of this line of a read and answers no configuration
  // command any more, as a unit that lost its power.
  int cutLine = -1;
  // The first this many copies of a checked read go unanswered; the next
  // line follows after a pause longer than the loader waits for the answer.
  int unansweredCopies = 0;
  bool neverAckWrites = false;  // never answers a checked write line
  // Sends of checked write lines (counted from 1 over the unit's life) that
  // go unanswered.
  std::vector<int> unansweredWriteSends;
  // Hangs up the line for good when this line (from 0) of a written list
  // arrives, as a unit unplugged in the middle of a restore.
  int hangUpAtWriteLine = -1;
  bool emptyList = false;  // the unit starts with no parameter at all
  // The unit's serial number ("PTEST Sernum"); negative: as installed.
  std::int64_t serialNumber = -1;
  std::string paramsIn;   // rv4410-sim: the list to start with
  std::string paramsOut;  // rv4410-sim: where the list goes when the unit stops
};

class ConfigurationExchange : public UnitFeature {
 public:
  explicit ConfigurationExchange(ConfigurationKnobs knobs = {});

  bool OnCommand(UnitModel& unit, std::string_view line) override;
  void OnBreak(UnitModel& unit) override;
  void OnAttention(UnitModel& unit) override;
  // A restart ends any exchange; the parameter list is kept.
  void OnRestart(UnitModel& unit) override;

  ParameterStore& Store() { return store_; }
  const ParameterStore& Store() const { return store_; }
  ConfigurationKnobs& Knobs() { return knobs_; }

  // What a test may look at.
  int ReadAttempts() const { return readAttempts_; }
  // The loader's copies of checked lines, with the verdict it sent before each.
  const std::vector<std::string>& Verdicts() const { return verdicts_; }
  const std::vector<std::string>& Copies() const { return copies_; }
  // Every parameter line a write delivered (checked lines without their check
  // character), in order, empty lines included.
  const std::vector<std::string>& WrittenLines() const { return writtenLines_; }
  int CompletedWrites() const { return completedWrites_; }

 private:
  enum class State { kIdle, kReadAwaitVerdict, kReadAwaitCopy, kCheckedWrite, kPlainWrite };

  bool StartCommand(UnitModel& unit, std::string_view line);
  void StartRead(UnitModel& unit, bool checked);
  void SendNextCheckedLine(UnitModel& unit);
  // False when the knobs say the read stops before line `index`.
  bool SendReadLine(UnitModel& unit, std::size_t index, std::string line);
  std::string Damaged(std::size_t index, std::string line) const;
  void OnReadLine(UnitModel& unit, std::string_view line);
  void OnWriteLine(UnitModel& unit, std::string_view line);

  ConfigurationKnobs knobs_;
  ParameterStore store_;
  State state_ = State::kIdle;
  std::size_t next_ = 0;  // the line of a checked read in progress
  int sends_ = 0;         // how often it has gone out
  bool lastVerdictOk_ = false;
  int readAttempts_ = 0;
  bool dead_ = false;
  int checkedWriteSends_ = 0;
  int writeLine_ = 0;  // lines of the list being written so far
  int completedWrites_ = 0;
  std::vector<std::string> verdicts_;
  std::vector<std::string> copies_;
  std::vector<std::string> writtenLines_;
};

}  // namespace rv4410::sim
