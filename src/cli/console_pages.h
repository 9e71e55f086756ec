#pragma once
// The wizard's three pages without windows: each implements the page
// interface of the logic, runs the same handlers from a loop of its own over
// the host's waits, and tells afterwards how it ended. The setup page's
// fields hold the files of the command line; Next is pressed at once.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "activity_log/log_window.h"
#include "cli/console_host.h"
#include "protocol/waiting_page.h"
#include "uploads/transfer_driver.h"
#include "wizard/setup_page.h"

namespace rv4410 {

// The transfer page's log control: every completed line goes to the output.
class ConsoleLogWindow : public LogWindow {
 public:
  explicit ConsoleLogWindow(ConsoleOutput& output) : output_(output) {}
  int TextLength() const override { return static_cast<int>(text_.size()); }
  int LineStart(int line) const override;
  void RemoveLeading(int count) override;
  void Append(std::string_view text) override;
  void SetLogFont(const char*, int) override {}
  void ClearLogFont() override {}

 private:
  ConsoleOutput& output_;
  std::string text_;     // what the control holds, trimmed by the log
  std::string partial_;  // the line being written
};

// A page's timer and its one posted command, run by the page's own loop: it
// sleeps in the host's wait until the timer is due or the host's events
// (a stop) end the page.
class PageLoop {
 public:
  explicit PageLoop(Host& host) : host_(host) {}
  void StartTimer(std::int64_t ms) { due_ = host_.TickCount() + ms; }
  void StopTimer() { due_ = -1; }
  void Post() { posted_ = true; }
  // Runs until `ended` says so: the posted command first, then the timer
  // when due.
  void Run(const std::function<bool()>& ended, const std::function<void()>& posted,
           const std::function<void()>& timer);

 private:
  Host& host_;
  std::int64_t due_ = -1;
  bool posted_ = false;
};

// The files the command line names; empty ones keep the page's proposal.
struct SetupChoice {
  LoaderFunction function = kReadConfiguration;
  std::string programFile;
  std::string configFile;
  std::string mapFile;
};

class ConsoleSetupPage : public SetupPage {
 public:
  ConsoleSetupPage(RunState& run, DataFiles& files, SetupChoice choice)
      : run_(run), files_(files), choice_(std::move(choice)) {}

  int Run() override;
  void EndPage(int result) override;
  void PostCommand(int command) override { posted_.push_back(command); }
  void SetApplicationIcon() override {}
  std::string FieldText(int field) const override;
  void SetFieldText(int field, const std::string& text) override { fields_[field] = text; }
  void CheckRadioButton(int button) override { checked_ = button; }
  bool IsRadioChecked(int button) const override { return checked_ == button; }
  void EnableControl(int, bool) override {}
  void OpenComms() override {}
  WindowRef Window() const override { return this; }
  // How the page's Next ended.
  NextOutcome Next() const { return next_; }

 private:
  RunState& run_;
  DataFiles& files_;
  SetupChoice choice_;
  NextOutcome next_ = NextOutcome::kFileRefused;
  std::map<int, std::string> fields_;
  std::vector<int> posted_;
  int checked_ = 0;
  bool ended_ = false;
  int result_ = 0;
};

class ConsoleWaitingPage : public WaitingPage {
 public:
  // How long it looks for the unit is the run's wait limit (RunState::waitLimitMs).
  ConsoleWaitingPage(RunState& run, MapRequirement map);

  int Run() override;
  void EndPage(int result) override;
  void StartTimer(std::int64_t ms) override;
  void StopTimer() override { loop_.StopTimer(); }
  void PostDefaultCommand() override { loop_.Post(); }
  void DisableNext() override {}
  void SetApplicationIcon() override {}
  WindowRef Window() const override { return this; }
  void ReportOutcome(const Outcome& outcome) override { outcome_ = outcome; }

  // A stop: the page is cancelled as by its Cancel button.
  void Interrupt();
  // How the page's work ended (cancelled until told otherwise).
  const Outcome& PageOutcome() const { return outcome_; }

 private:
  void Command(WaitingCommand command);

  RunState& run_;
  MapRequirement map_;
  PageLoop loop_;
  bool ended_ = false;
  int result_ = 0;
  Outcome outcome_ = Outcome::StoppedByUser();
};

class ConsoleTransferPage : public TransferPageWindow {
 public:
  ConsoleTransferPage(LoaderState& state, ConsoleOutput& output, ConsoleLogWindow& log);

  int Run() override;
  void EndPage(int result) override;
  // The status fields' texts are the log's and the window's; the console
  // names the phase instead.
  void SetStatusText(int, std::string_view) override {}
  void SetPhase(TransferPhase phase) override { output_.Phase(TransferPhaseName(phase)); }
  WindowRef Window() const override { return this; }
  void StartTimer(std::int64_t ms) override;
  void StopTimer() override { loop_.StopTimer(); }
  void SetApplicationIcon() override {}
  void SetProgressRange(int, int, int) override {}
  void SetProgress(int position) override;
  void EnableExit(bool) override {}
  void ShowCursor(CursorShape) override {}
  LogWindow& LogControl() override { return log_; }
  bool Ended() const override { return ended_; }
  void ReportOutcome(const Outcome& outcome) override { outcome_ = outcome; }

  // A stop: the page is left as by its Exit button.
  void Interrupt();
  // How the page's operation ended (cancelled until told otherwise).
  const Outcome& PageOutcome() const { return outcome_; }

 private:
  LoaderState& state_;
  ConsoleOutput& output_;
  ConsoleLogWindow& log_;
  PageLoop loop_;
  bool ended_ = false;
  bool leftOpen_ = false;
  bool interrupted_ = false;
  int result_ = 0;
  Outcome outcome_ = Outcome::StoppedByUser();
};

}  // namespace rv4410
