#pragma once
// The wizard's main loop: setup, waiting and transfer pages, each ending with
// a result that chooses the next page. No Qt here, so that the table runs
// under unit tests.

#include <functional>

#include "protocol/run_state.h"

namespace rv4410 {

enum class PageState { kSetup, kWaiting, kTransfer, kEnd };

// The state that `result` of the page shown in `state` leads to. A result
// that the state does not list ends the loop.
PageState NextPageState(PageState state, int result);

// The three pages, each shown modally until it ends with its result, and the
// question whether a quit request has reached the program.
struct PageRunners {
  std::function<int()> setup;
  std::function<int()> waiting;
  std::function<int()> transfer;
  std::function<bool()> quitRequested;
};

// Runs the pages from Setup until a result leads to End or a quit request has
// arrived (asked before every page and after it).
void RunPageLoop(const PageRunners& runners);

// The start of a run, in order: the serial scratch buffer, the front end's
// own steps (its controls and the application icon), the log opened and its
// banner written.
void StartRun(RunState& run, const std::function<void()>& frontEndSteps);

// The end of a run: the port closed, the log closed, the scratch buffer freed.
void ShutDownRun(RunState& run);

}  // namespace rv4410
