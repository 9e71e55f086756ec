#pragma once
// The host of the tests: a virtual clock that moves only when the logic waits,
// an in-memory serial device, user events scheduled by the test, and message
// boxes answered by the test. Every box shown is recorded; a box the test did
// not answer is recorded as unexpected, which the test fixtures treat as a
// failure.

#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/virtual_serial_device.h"

namespace rv4410 {

class VirtualHost : public Host {
 public:
  VirtualHost();

  std::int64_t TickCount() override;
  void PumpMessages() override;
  void WaitForEvent(std::int64_t deadline) override;
  void WaitForUserEvent(std::int64_t deadline) override;
  BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override;
  void Beep() override { ++beeps_; }
  void SetCursor(CursorShape shape) override { cursor_ = shape; }
  std::time_t WallClock() override {
    return wallClock_ + static_cast<std::time_t>(nowUs_ / 1'000'000);
  }
  bool ChooseFile(const FileChoiceRequest& request, std::string& path) override;
  // What the device's knobs say: missing, denied, held elsewhere, or found.
  PortDiagnosis DiagnosePort(const std::string& portName) override;
  SerialDevice& Serial() override { return device_; }
  // True from the (checks + 1)-th look on, once StopAfterChecks(checks) was called.
  bool StopRequested() override { return stopAfter_ >= 0 && ++stopChecks_ > stopAfter_; }

  VirtualSerialDevice& Device() { return device_; }
  // The program is asked to end (as a signal asks the command line) once the
  // logic has looked `checks` times: 0 at once, a few to stop it part way.
  void StopAfterChecks(int checks) {
    stopAfter_ = checks;
    stopChecks_ = 0;
  }
  std::int64_t NowUs() const { return nowUs_; }

  // A user event (a click, a posted command) that runs at `tickMs`, when the
  // logic next pumps messages or waits at or after that time.
  void At(std::int64_t tickMs, std::function<void()> event);
  // A user event that runs every `periodMs` from now, as long as it returns true.
  void Every(std::int64_t periodMs, std::function<bool()> event);

  // Answers for the next boxes, in order. A handler, when set, answers instead
  // of the queue (and may schedule events or look at the request).
  void AnswerNextBox(BoxAnswer answer) { answers_.push_back(answer); }
  void SetBoxHandler(std::function<BoxAnswer(const MessageBoxRequest&)> handler) {
    boxHandler_ = std::move(handler);
  }
  const std::vector<MessageBoxRequest>& ShownBoxes() const { return shownBoxes_; }
  const std::vector<MessageBoxRequest>& UnexpectedBoxes() const { return unexpectedBoxes_; }
  void ClearShownBoxes() { shownBoxes_.clear(); }

  // Answers for the next file-open dialogs, in order: a path, or nothing for
  // Cancel. A handler, when set, answers instead. A dialog without an answer
  // is recorded as unexpected and cancelled.
  void AnswerNextChoice(std::optional<std::string> path) { choices_.push_back(std::move(path)); }
  void SetChoiceHandler(
      std::function<std::optional<std::string>(const FileChoiceRequest&)> handler) {
    choiceHandler_ = std::move(handler);
  }
  const std::vector<FileChoiceRequest>& ShownChoices() const { return shownChoices_; }
  const std::vector<FileChoiceRequest>& UnexpectedChoices() const { return unexpectedChoices_; }

  void SetWallClock(std::time_t start) { wallClock_ = start; }
  CursorShape Cursor() const { return cursor_; }
  int Beeps() const { return beeps_; }

  // Lets the simulated world run without the logic waiting (between operations).
  void RunFor(std::int64_t ms);

 private:
  struct Event {
    std::int64_t atUs;
    std::uint64_t order;
    std::function<void()> run;
  };

  void AdvanceTo(std::int64_t us);
  void SleepUntil(std::int64_t deadline, bool wakeOnSerial);
  void ScheduleRepeat(std::int64_t periodMs, std::shared_ptr<std::function<bool()>> event);
  bool RunOneDueEvent();
  std::int64_t NextUserEventUs() const;
  void NoteIdleTurn();

  VirtualSerialDevice device_;
  int stopAfter_ = -1;
  int stopChecks_ = 0;
  std::int64_t nowUs_ = 0;
  std::time_t wallClock_ = 0;
  std::vector<Event> events_;
  std::uint64_t eventOrder_ = 0;
  std::deque<BoxAnswer> answers_;
  std::function<BoxAnswer(const MessageBoxRequest&)> boxHandler_;
  std::vector<MessageBoxRequest> shownBoxes_;
  std::vector<MessageBoxRequest> unexpectedBoxes_;
  std::deque<std::optional<std::string>> choices_;
  std::function<std::optional<std::string>(const FileChoiceRequest&)> choiceHandler_;
  std::vector<FileChoiceRequest> shownChoices_;
  std::vector<FileChoiceRequest> unexpectedChoices_;
  CursorShape cursor_ = CursorShape::kArrow;
  int beeps_ = 0;
  std::uint64_t turnsWithoutTime_ = 0;
};

}  // namespace rv4410
