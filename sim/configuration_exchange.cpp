#include "sim/configuration_exchange.h"

#include <algorithm>

namespace rv4410::sim {

namespace {

constexpr std::size_t kValueField = 10;
// A line the loader refused goes out again, up to this many times in all.
constexpr int kSendsPerLine = 3;
constexpr std::string_view kOk = "OK\r\n";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kCheckMismatch = "ERROR check\r\n";
constexpr std::string_view kVerdictOk = "OK line recvd";
constexpr std::string_view kVerdictError = "ERROR line invalid";
// Longer than the loader waits for the answer to its copy.
constexpr std::int64_t kUnansweredPauseUs = 700'000;

// The checked layout of a parameter line: its name part (name and space), a
// separator, the check character of the plain line, then the value field.
std::string CheckedLayout(const std::string& line) {
  std::string checked = line;
  checked.insert(line.size() - kValueField, {' ', UnitCheckCharacter(line)});
  return checked;
}

char OtherCheckCharacter(char c) {
  return c == 'Z' ? '0' : static_cast<char>(c == '9' ? 'A' : c + 1);
}

}  // namespace

ConfigurationExchange::ConfigurationExchange(ConfigurationKnobs knobs) : knobs_(std::move(knobs)) {}

bool ConfigurationExchange::OnCommand(UnitModel& unit, std::string_view line) {
  // While a list is written every line is data, up to the empty line.
  if (state_ == State::kCheckedWrite || state_ == State::kPlainWrite) {
    OnWriteLine(unit, line);
    return true;
  }
  if (StartCommand(unit, line)) return true;
  if (state_ == State::kReadAwaitVerdict || state_ == State::kReadAwaitCopy) {
    OnReadLine(unit, line);
    return true;
  }
  return false;
}

void ConfigurationExchange::OnBreak(UnitModel& /*unit*/) {
  state_ = State::kIdle;
}

void ConfigurationExchange::OnAttention(UnitModel& /*unit*/) {
  state_ = State::kIdle;
}

void ConfigurationExchange::OnRestart(UnitModel& /*unit*/) {
  state_ = State::kIdle;
}

bool ConfigurationExchange::StartCommand(UnitModel& unit, std::string_view line) {
  if (dead_) return line == "RX" || line == "RP" || line == "WX" || line == "WP";
  if (line == "RX" || line == "WX") {
    state_ = State::kIdle;
    // A unit without the checked exchange does not know the command.
    if (!knobs_.checkedExchange) return true;
    unit.Send(kOk);
    if (line == "RX") {
      StartRead(unit, true);
    } else {
      state_ = State::kCheckedWrite;
      writeLine_ = 0;
    }
    return true;
  }
  if (line == "RP") {
    StartRead(unit, false);
    return true;
  }
  if (line == "WP") {
    state_ = State::kPlainWrite;
    writeLine_ = 0;
    return true;
  }
  return false;
}

void ConfigurationExchange::StartRead(UnitModel& unit, bool checked) {
  ++readAttempts_;
  next_ = 0;
  sends_ = 0;
  state_ = State::kIdle;
  if (checked) {
    SendNextCheckedLine(unit);
    return;
  }
  for (std::size_t i = 0; i < store_.Size(); ++i) {
    if (!SendReadLine(unit, i, store_.Line(i))) return;
  }
  unit.Send(kLineEnd);
}

void ConfigurationExchange::SendNextCheckedLine(UnitModel& unit) {
  state_ = State::kIdle;
  if (next_ >= store_.Size()) {
    unit.Send(kLineEnd);
    return;
  }
  std::string line = CheckedLayout(store_.Line(next_));
  if (static_cast<int>(next_) == knobs_.wrongCheckLine && sends_ < knobs_.wrongCheckSends) {
    char& check = line[line.size() - kValueField - 1];
    check = OtherCheckCharacter(check);
  }
  ++sends_;
  if (SendReadLine(unit, next_, std::move(line))) state_ = State::kReadAwaitVerdict;
}

bool ConfigurationExchange::SendReadLine(UnitModel& unit, std::size_t index, std::string line) {
  const int i = static_cast<int>(index);
  if (knobs_.silentAfterLines >= 0 && i >= knobs_.silentAfterLines) return false;
  line = Damaged(index, std::move(line));
  if (i == knobs_.cutLine) {
    unit.Send(std::string_view(line).substr(0, line.size() / 2));
    dead_ = true;
    return false;
  }
  unit.Send(line + std::string(kLineEnd));
  return true;
}

std::string ConfigurationExchange::Damaged(std::size_t index, std::string line) const {
  if (static_cast<int>(index) != knobs_.damagedLine || readAttempts_ > knobs_.damagedAttempts) {
    return line;
  }
  if (knobs_.damage == LineDamage::kInvalidCharacter) {
    line[2] = '_';
  } else {
    line[line.size() - kValueField + 1] = 'X';  // "0X": no value field
  }
  return line;
}

void ConfigurationExchange::OnReadLine(UnitModel& unit, std::string_view line) {
  if (state_ == State::kReadAwaitVerdict) {
    if (line != kVerdictOk && line != kVerdictError) return;
    verdicts_.emplace_back(line);
    lastVerdictOk_ = line == kVerdictOk;
    state_ = State::kReadAwaitCopy;
    return;
  }
  // The loader's copy of the line: taken, whatever it says.
  copies_.emplace_back(line);
  if (lastVerdictOk_ || sends_ >= kSendsPerLine) {
    ++next_;
    sends_ = 0;
  }
  if (static_cast<int>(copies_.size()) <= knobs_.unansweredCopies) {
    state_ = State::kIdle;
    unit.At(unit.NowUs() + kUnansweredPauseUs, [this, &unit] { SendNextCheckedLine(unit); });
    return;
  }
  unit.Send(kOk);
  SendNextCheckedLine(unit);
}

void ConfigurationExchange::OnWriteLine(UnitModel& unit, std::string_view line) {
  if (writeLine_++ == knobs_.hangUpAtWriteLine) {
    unit.HangUp("restore line " + std::to_string(knobs_.hangUpAtWriteLine));
    return;
  }
  if (line.empty()) {
    state_ = State::kIdle;
    ++completedWrites_;
    unit.Send(kOk);
    return;
  }
  if (state_ == State::kPlainWrite) {
    writtenLines_.emplace_back(line);
    store_.Apply(line);
    return;
  }
  // "%s %c": the parameter line, a space, its check character.
  bool matches = line.size() >= 2 && line[line.size() - 2] == ' ' &&
                 UnitCheckCharacter(line.substr(0, line.size() - 2)) == line.back();
  if (matches) {
    std::string_view text = line.substr(0, line.size() - 2);
    writtenLines_.emplace_back(text);
    if (!text.empty()) store_.Apply(text);
  }
  ++checkedWriteSends_;
  if (knobs_.neverAckWrites) return;
  if (std::ranges::find(knobs_.unansweredWriteSends, checkedWriteSends_) !=
      knobs_.unansweredWriteSends.end()) {
    return;
  }
  unit.Send(matches ? kOk : kCheckMismatch);
}

}  // namespace rv4410::sim
