#include "wizard/page_loop.h"

#include "protocol/page_results.h"
#include "serial/serial_link.h"

namespace rv4410 {

PageState NextPageState(PageState state, int result) {
  switch (state) {
    case PageState::kSetup:
      if (result == kPageNext) return PageState::kWaiting;
      break;
    case PageState::kWaiting:
      if (result == kPageBack || result == kPageUnsuitable) return PageState::kSetup;
      if (result == kPageNext) return PageState::kTransfer;
      break;
    case PageState::kTransfer:
      if (result == kPageBack || result == kPageUnsuitable) return PageState::kSetup;
      if (result == kPageTryAgain) return PageState::kWaiting;
      break;
    case PageState::kEnd:
      break;
  }
  return PageState::kEnd;
}

namespace {

const std::function<int()>& RunnerOf(const PageRunners& runners, PageState state) {
  switch (state) {
    case PageState::kWaiting:
      return runners.waiting;
    case PageState::kTransfer:
      return runners.transfer;
    default:
      break;
  }
  return runners.setup;
}

bool QuitRequested(const PageRunners& runners) {
  return runners.quitRequested && runners.quitRequested();
}

}  // namespace

void RunPageLoop(const PageRunners& runners) {
  PageState state = PageState::kSetup;
  while (state != PageState::kEnd && !QuitRequested(runners)) {
    const std::function<int()>& runner = RunnerOf(runners, state);
    // A page that is missing cannot run: the program leaves, as after Cancel.
    int result = runner ? runner() : kPageLeave;
    state = NextPageState(state, result);
  }
}

void StartRun(RunState& run, const std::function<void()>& frontEndSteps) {
  IoBufferAlloc(run.link);
  if (frontEndSteps) frontEndSteps();
  run.log.LogOpen();
  run.log.LogBanner();
}

void ShutDownRun(RunState& run) {
  SerialClose(run.link);
  run.log.LogClose();
  IoBufferFree(run.link);
}

}  // namespace rv4410
