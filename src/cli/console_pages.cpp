#include "cli/console_pages.h"

#include <algorithm>
#include <climits>

#include "protocol/page_results.h"

namespace rv4410 {

int ConsoleLogWindow::LineStart(int line) const {
  if (line == 0) return 0;
  int found = 0;
  for (std::size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\n' && ++found == line) return static_cast<int>(i + 1);
  }
  return -1;
}

void ConsoleLogWindow::RemoveLeading(int count) {
  text_.erase(0, std::min(text_.size(), static_cast<std::size_t>(std::max(count, 0))));
}

void ConsoleLogWindow::Append(std::string_view text) {
  text_.append(text);
  for (char c : text) {
    if (c == '\r') continue;
    if (c != '\n') {
      partial_.push_back(c);
      continue;
    }
    if (!partial_.empty()) output_.LogLine(partial_);
    partial_.clear();
  }
}

namespace {

// How long the page sleeps at most with no timer due; a stop wakes it sooner.
constexpr std::int64_t kIdleWaitMs = 60'000;

}  // namespace

void PageLoop::Run(const std::function<bool()>& ended, const std::function<void()>& posted,
                   const std::function<void()>& timer) {
  while (!ended()) {
    if (posted_) {
      posted_ = false;
      posted();
    } else if (due_ >= 0 && host_.TickCount() >= due_) {
      due_ = -1;
      timer();
    } else {
      host_.WaitForEvent(due_ >= 0 ? due_ : host_.TickCount() + kIdleWaitMs);
    }
  }
  due_ = -1;
}

int ConsoleSetupPage::Run() {
  SetupPageOpen(run_, *this);
  // The page's own posted command: the remembered function's radio button.
  for (std::size_t i = 0; i < posted_.size() && !ended_; ++i) {
    SetupPageCommand(run_, files_, *this, posted_[i]);
  }
  posted_.clear();
  if (ended_) return result_;
  SetupPageCommand(run_, files_, *this, choice_.function);
  if (!choice_.programFile.empty()) fields_[kSetupProgramField] = choice_.programFile;
  if (!choice_.configFile.empty()) fields_[kSetupConfigField] = choice_.configFile;
  if (!choice_.mapFile.empty()) fields_[kSetupMapField] = choice_.mapFile;
  next_ = SetupPageNext(run_, files_, *this);
  // A refused Next leaves the page open; with no one to correct the files,
  // the page is left.
  return ended_ ? result_ : kPageLeave;
}

void ConsoleSetupPage::EndPage(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
}

std::string ConsoleSetupPage::FieldText(int field) const {
  auto it = fields_.find(field);
  return it == fields_.end() ? std::string() : it->second;
}

ConsoleWaitingPage::ConsoleWaitingPage(RunState& run, MapRequirement map)
    : run_(run), map_(map), loop_(run.host) {}

int ConsoleWaitingPage::Run() {
  WaitingPageOpen(run_, *this);
  // The loop ends once control is back in it (a handler may end the page
  // from inside a wait).
  loop_.Run([this] { return ended_; }, [this] { Command(WaitingCommand::kNext); },
            [this] { WaitingPageTimer(run_, *this); });
  return result_;
}

void ConsoleWaitingPage::EndPage(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
}

void ConsoleWaitingPage::StartTimer(std::int64_t ms) {
  loop_.StartTimer(ms);
}

void ConsoleWaitingPage::Interrupt() {
  Command(WaitingCommand::kCancel);
}

void ConsoleWaitingPage::Command(WaitingCommand command) {
  if (ended_) return;
  WaitingPageCommand(run_, *this, command, map_);
}

ConsoleTransferPage::ConsoleTransferPage(LoaderState& state, ConsoleOutput& output,
                                         ConsoleLogWindow& log)
    : state_(state), output_(output), log_(log), loop_(state.run.host) {}

int ConsoleTransferPage::Run() {
  TransferPageOpen(state_, *this);
  // The operation runs in the timer's handler; once it is over, a page still
  // open waits for Exit in the wizard. Here nobody is there to press it.
  bool over = false;
  loop_.Run([this, &over] { return over || ended_; }, [] {},
            [this, &over] {
              TransferPageTimer(state_, *this);
              output_.EndProgress();
              leftOpen_ = !ended_;
              over = true;
            });
  return leftOpen_ ? kPageLeave : result_;
}

void ConsoleTransferPage::EndPage(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
}

void ConsoleTransferPage::StartTimer(std::int64_t ms) {
  loop_.StartTimer(ms);
}

void ConsoleTransferPage::SetProgress(int position) {
  if (position <= 0) return;
  output_.Progress(position, state_.files.loadedImage.length, state_.run.host.TickCount());
}

void ConsoleTransferPage::Interrupt() {
  if (ended_ || interrupted_) return;
  interrupted_ = true;
  TransferPageCommand(state_, *this, TransferCommand::kExit);
}

}  // namespace rv4410
