#include "platform/virtual_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace rv4410 {

namespace {

// A loop that asks the clock this often without time moving is spinning: in
// virtual time it would never end, so stop the test with a clear word.
constexpr std::uint64_t kSpinLimit = 50'000'000;

}  // namespace

VirtualHost::VirtualHost() {
  // 2026-01-15 12:00 UTC: a fixed, ordinary date unless a test sets another.
  wallClock_ = 1768478400;
}

void VirtualHost::NoteIdleTurn() {
  if (++turnsWithoutTime_ > kSpinLimit) {
    std::fprintf(stderr, "VirtualHost: the logic is spinning at %lld us without waiting\n",
                 static_cast<long long>(nowUs_));
    std::abort();
  }
}

std::int64_t VirtualHost::TickCount() {
  NoteIdleTurn();
  return nowUs_ / 1000;
}

void VirtualHost::PumpMessages() {
  NoteIdleTurn();
  RunOneDueEvent();
}

void VirtualHost::At(std::int64_t tickMs, std::function<void()> event) {
  events_.push_back({tickMs * 1000, eventOrder_++, std::move(event)});
}

void VirtualHost::Every(std::int64_t periodMs, std::function<bool()> event) {
  ScheduleRepeat(periodMs, std::make_shared<std::function<bool()>>(std::move(event)));
}

void VirtualHost::ScheduleRepeat(std::int64_t periodMs,
                                 std::shared_ptr<std::function<bool()>> event) {
  // The scheduled call holds the event, never the other way round: no cycle.
  At(nowUs_ / 1000 + periodMs, [this, periodMs, event] {
    if ((*event)()) ScheduleRepeat(periodMs, event);
  });
}

std::int64_t VirtualHost::NextUserEventUs() const {
  std::int64_t next = kNever;
  for (const Event& event : events_) next = std::min(next, event.atUs);
  return next;
}

bool VirtualHost::RunOneDueEvent() {
  auto due = events_.end();
  for (auto it = events_.begin(); it != events_.end(); ++it) {
    if (it->atUs > nowUs_) continue;
    if (due == events_.end() || it->atUs < due->atUs ||
        (it->atUs == due->atUs && it->order < due->order)) {
      due = it;
    }
  }
  if (due == events_.end()) return false;
  std::function<void()> run = std::move(due->run);
  events_.erase(due);
  run();
  return true;
}

void VirtualHost::AdvanceTo(std::int64_t us) {
  if (us > nowUs_) {
    nowUs_ = us;
    turnsWithoutTime_ = 0;
  }
  device_.AdvanceTo(nowUs_);
}

void VirtualHost::WaitForEvent(std::int64_t deadline) {
  SleepUntil(deadline, true);
}

void VirtualHost::WaitForUserEvent(std::int64_t deadline) {
  SleepUntil(deadline, false);
}

void VirtualHost::SleepUntil(std::int64_t deadline, bool wakeOnSerial) {
  std::int64_t deadlineUs = deadline * 1000;
  device_.AdvanceTo(nowUs_);
  if (deadlineUs > nowUs_) {
    std::int64_t serial = wakeOnSerial ? device_.NextEventUs() : kNever;
    std::int64_t wake = std::min({deadlineUs, serial, NextUserEventUs()});
    AdvanceTo(std::max(wake, nowUs_ + 1));
  } else {
    NoteIdleTurn();
  }
  while (RunOneDueEvent()) {
  }
}

void VirtualHost::RunFor(std::int64_t ms) {
  std::int64_t endUs = nowUs_ + ms * 1000;
  while (nowUs_ < endUs) {
    std::int64_t wake = std::min({endUs, device_.NextEventUs(), NextUserEventUs()});
    AdvanceTo(std::max(wake, nowUs_ + 1));
    while (RunOneDueEvent()) {
    }
  }
}

BoxAnswer VirtualHost::ShowMessageBox(const MessageBoxRequest& request) {
  shownBoxes_.push_back(request);
  if (boxHandler_) return boxHandler_(request);
  if (!answers_.empty()) {
    BoxAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  unexpectedBoxes_.push_back(request);
  return SafestAnswer(request.buttons);
}

}  // namespace rv4410

namespace rv4410 {

bool VirtualHost::ChooseFile(const FileChoiceRequest& request, std::string& path) {
  path.clear();
  shownChoices_.push_back(request);
  std::optional<std::string> answer;
  if (choiceHandler_) {
    answer = choiceHandler_(request);
  } else if (!choices_.empty()) {
    answer = std::move(choices_.front());
    choices_.pop_front();
  } else {
    unexpectedChoices_.push_back(request);
  }
  if (!answer) return false;
  path = *answer;
  return true;
}

PortDiagnosis VirtualHost::DiagnosePort(const std::string& portName) {
  PortDiagnosis diagnosis;
  diagnosis.device = portName;
  if (!device_.PortPresent(portName)) {
    diagnosis.state = PortState::kMissing;
  } else if (device_.PortDenied(portName)) {
    diagnosis.state = PortState::kNoPermission;
  } else if (device_.HeldElsewhere()) {
    diagnosis.state = PortState::kInUse;
  }
  return diagnosis;
}

}  // namespace rv4410
