#pragma once
// The transfer page in virtual time: its timer is a user event of the
// VirtualHost, Run() waits like a modal dialog until the page is ended, and
// every control records what the driver did to it.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/virtual_host.h"
#include "support/text_log_window.h"
#include "uploads/transfer_driver.h"

namespace rv4410::test {

class VirtualTransferPage : public TransferPageWindow {
 public:
  // A page that nothing ends returns this after the limit of Run().
  static constexpr int kNeverEnded = -1;
  static constexpr std::int64_t kRunLimitMs = 3'600'000;

  VirtualTransferPage(VirtualHost& host, LoaderState& state) : host_(host), state_(state) {}

  int Run() override {
    TransferPageOpen(state_, *this);
    std::int64_t limit = host_.TickCount() + kRunLimitMs;
    // Like a modal dialog, the page stays until ended; its start timer's
    // handler may still be running on when it is, as in the real dialog.
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
  void SetStatusText(int field, std::string_view text) override {
    (field == kStatusField1032 ? status1032 : status1033).emplace_back(text);
  }
  WindowRef Window() const override { return this; }
  void StartTimer(std::int64_t ms) override {
    ++timersStarted;
    host_.At(host_.TickCount() + ms, [this, generation = ++timerGeneration_] {
      if (!ended_ && generation == timerGeneration_ && !state_.run.CancelRequested) {
        timerFiredAtMs = host_.TickCount();
        TransferPageTimer(state_, *this);
        timerReturnedAtMs = host_.TickCount();
      }
    });
  }
  void StopTimer() override { ++timerGeneration_; }
  void SetApplicationIcon() override { iconSet = true; }
  void SetProgressRange(int minimum, int maximum, int step) override {
    progressMinimum = minimum;
    progressMaximum = maximum;
    progressStep = step;
  }
  void SetProgress(int position) override { progress.push_back(position); }
  void SetPhase(TransferPhase phase) override { phases.push_back(phase); }
  void EnableExit(bool enabled) override { exitEnabled = enabled; }
  void ShowCursor(CursorShape shape) override { cursors.push_back(shape); }
  LogWindow& LogControl() override { return log; }
  bool Ended() const override { return ended_; }
  void ReportOutcome(const Outcome& outcome) override { outcomes.push_back(outcome); }

  // A command (a click, Enter, Escape or the close control) at virtual tick `ms`.
  void CommandAt(std::int64_t ms, TransferCommand command) {
    host_.At(ms, [this, command] {
      if (!ended_) TransferPageCommand(state_, *this, command);
    });
  }

  int Result() const { return result_; }
  CursorShape LastCursor() const { return cursors.empty() ? CursorShape::kArrow : cursors.back(); }

  TextLogWindow log;
  bool iconSet = false;
  bool exitEnabled = true;
  int timersStarted = 0;
  int progressMinimum = -1;
  int progressMaximum = -1;
  int progressStep = -1;
  std::vector<int> progress;
  std::vector<TransferPhase> phases;
  std::vector<CursorShape> cursors;
  std::vector<std::string> status1032;
  std::vector<std::string> status1033;
  // How the page's work ended, as the page's logic told it.
  std::vector<Outcome> outcomes;
  std::int64_t timerFiredAtMs = -1;
  std::int64_t timerReturnedAtMs = -1;
  std::int64_t endedAtMs = -1;
  std::int64_t returnedAtMs = -1;

 private:
  VirtualHost& host_;
  LoaderState& state_;
  bool ended_ = false;
  int result_ = kNeverEnded;
  int timerGeneration_ = 0;
};

}  // namespace rv4410::test
