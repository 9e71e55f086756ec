#pragma once
// The waiting page in virtual time: its timer and posted command are user
// events of the VirtualHost, and Run() waits like a modal dialog until the
// page is ended.

#include <cstdint>

#include "platform/virtual_host.h"
#include "protocol/waiting_page.h"

namespace rv4410::test {

class VirtualWaitingPage : public WaitingPage {
 public:
  // A page that nothing ends returns this after ten virtual minutes.
  static constexpr int kNeverEnded = -1;

  VirtualWaitingPage(VirtualHost& host, RunState& run, MapRequirement map = {})
      : host_(host), run_(run), map_(map) {}

  int Run() override {
    WaitingPageOpen(run_, *this);
    std::int64_t limit = host_.TickCount() + 600'000;
    while (!ended_ && host_.TickCount() < limit) host_.WaitForEvent(limit);
    returnedAtMs = host_.TickCount();
    return ended_ ? result_ : kNeverEnded;
  }
  void EndPage(int result) override {
    if (ended_) return;
    ended_ = true;
    result_ = result;
    endedAtMs = host_.TickCount();
  }
  void StartTimer(std::int64_t ms) override {
    host_.At(host_.TickCount() + ms, [this, generation = ++timerGeneration_] {
      if (!ended_ && generation == timerGeneration_) WaitingPageTimer(run_, *this);
    });
  }
  void StopTimer() override { ++timerGeneration_; }
  void PostDefaultCommand() override { CommandAt(host_.TickCount(), WaitingCommand::kNext); }
  void DisableNext() override { nextDisabled = true; }
  void SetApplicationIcon() override { iconSet = true; }
  WindowRef Window() const override { return this; }

  // A click (or Enter, or a close request) at virtual tick `ms`.
  void CommandAt(std::int64_t ms, WaitingCommand command) {
    host_.At(ms, [this, command] {
      if (!ended_) WaitingPageCommand(run_, *this, command, map_);
    });
  }

  bool Ended() const { return ended_; }
  bool nextDisabled = false;
  bool iconSet = false;
  std::int64_t endedAtMs = -1;
  std::int64_t returnedAtMs = -1;

 private:
  VirtualHost& host_;
  RunState& run_;
  MapRequirement map_;
  bool ended_ = false;
  int result_ = kNeverEnded;
  int timerGeneration_ = 0;
};

}  // namespace rv4410::test
