#pragma once
// The setup page and the communications dialog in virtual time: their fields
// and buttons are plain state, posted commands and clicks are user events of
// the VirtualHost, and Run() waits like a modal dialog until the page ends.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/virtual_host.h"
#include "wizard/comms_page.h"
#include "wizard/setup_page.h"

namespace rv4410::test {

// A page that nothing ends returns this after ten virtual minutes.
inline constexpr int kPageNeverEnded = -1;

// Waits as a modal dialog does until `ended`; the result, or kPageNeverEnded.
inline int WaitForPageEnd(VirtualHost& host, const bool& ended, const int& result) {
  std::int64_t limit = host.TickCount() + 600'000;
  while (!ended && host.TickCount() < limit) host.WaitForEvent(limit);
  return ended ? result : kPageNeverEnded;
}

class VirtualSetupPage : public SetupPage {
 public:
  VirtualSetupPage(VirtualHost& host, RunState& run, DataFiles& files)
      : host_(host), run_(run), files_(files) {}

  int Run() override {
    ended_ = false;
    SetupPageOpen(run_, *this);
    return WaitForPageEnd(host_, ended_, result_);
  }
  void EndPage(int result) override {
    if (ended_) return;
    ended_ = true;
    result_ = result;
  }
  void PostCommand(int command) override { CommandAt(host_.TickCount(), command); }
  void SetApplicationIcon() override { iconSet = true; }
  std::string FieldText(int field) const override {
    auto found = fields.find(field);
    return found != fields.end() ? found->second : std::string();
  }
  void SetFieldText(int field, const std::string& text) override { fields[field] = text; }
  void CheckRadioButton(int button) override { checked = button; }
  bool IsRadioChecked(int button) const override { return checked == button; }
  void EnableControl(int control, bool enabled) override {
    if (enabled) {
      disabled.erase(control);
    } else {
      disabled.insert(control);
    }
  }
  void OpenComms() override { ++commsOpened; }
  WindowRef Window() const override { return this; }

  // A click (or Enter, or a close request) at virtual tick `ms`. Next keeps
  // how it ended, as a front end that reports it does.
  void CommandAt(std::int64_t ms, int command) {
    host_.At(ms, [this, command] {
      if (ended_) return;
      if (command == kSetupNextButton) {
        nextOutcome = SetupPageNext(run_, files_, *this);
        return;
      }
      SetupPageCommand(run_, files_, *this, command);
    });
  }
  bool Enabled(int control) const { return disabled.count(control) == 0; }
  bool Ended() const { return ended_; }

  std::map<int, std::string> fields;
  std::set<int> disabled;
  int checked = 0;
  bool iconSet = false;
  int commsOpened = 0;
  std::optional<NextOutcome> nextOutcome;

 private:
  VirtualHost& host_;
  RunState& run_;
  DataFiles& files_;
  bool ended_ = false;
  int result_ = kPageNeverEnded;
};

class VirtualCommsPage : public CommsPage {
 public:
  VirtualCommsPage(VirtualHost& host, RunState& run) : host_(host), run_(run) {}

  int Run() override {
    ended_ = false;
    CommsPageOpen(run_, *this);
    return WaitForPageEnd(host_, ended_, result_);
  }
  void EndPage(int result) override {
    if (ended_) return;
    ended_ = true;
    result_ = result;
  }
  void SetApplicationIcon() override { iconSet = true; }
  void CheckButton(int button) override { (IsPortButton(button) ? port : rate) = button; }
  bool IsButtonChecked(int button) const override { return port == button || rate == button; }
  void ShowPortState(int button, const PortDiagnosis& diagnosis) override {
    states[button] = diagnosis.state;
  }
  WindowRef Window() const override { return this; }

  void CommandAt(std::int64_t ms, int command) {
    host_.At(ms, [this, command] {
      if (!ended_) CommsPageCommand(run_, *this, command);
    });
  }
  void ClickAt(std::int64_t ms, int button) {
    host_.At(ms, [this, button] { CheckButton(button); });
  }

  int port = 0;
  int rate = 0;
  std::map<int, PortState> states;
  bool iconSet = false;

 private:
  static bool IsPortButton(int button) {
    for (const CommsPortButton& entry : kCommsPorts) {
      if (entry.id == button) return true;
    }
    return false;
  }

  VirtualHost& host_;
  RunState& run_;
  bool ended_ = false;
  int result_ = kPageNeverEnded;
};

}  // namespace rv4410::test
