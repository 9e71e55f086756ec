// The wizard's page loop: the transition table, and whole runs of scripted
// pages (each page returns the next result of its script).

#include "wizard/page_loop.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "protocol/page_results.h"

namespace rv4410::test {
namespace {

constexpr PageState kS = PageState::kSetup;
constexpr PageState kW = PageState::kWaiting;
constexpr PageState kT = PageState::kTransfer;
constexpr PageState kE = PageState::kEnd;

struct TransitionCase {
  PageState state;
  int result;
  PageState next;
};

TEST(PageLoopTable, EveryStateAndResultLeadsWhereTheTableSays) {
  const TransitionCase cases[] = {
      // Setup lists only leave and next.
      {kS, kPageLeave, kE},
      {kS, kPageNext, kW},
      {kS, kPageBack, kE},
      {kS, kPageUnsuitable, kE},
      {kS, kPageTryAgain, kE},
      // Waiting: back and unsuitable both return to setup.
      {kW, kPageLeave, kE},
      {kW, kPageBack, kS},
      {kW, kPageUnsuitable, kS},
      {kW, kPageNext, kT},
      {kW, kPageTryAgain, kE},
      // Transfer: try again re-enters waiting; next is not listed.
      {kT, kPageLeave, kE},
      {kT, kPageBack, kS},
      {kT, kPageUnsuitable, kS},
      {kT, kPageTryAgain, kW},
      {kT, kPageNext, kE},
  };
  for (const TransitionCase& c : cases) {
    EXPECT_EQ(NextPageState(c.state, c.result), c.next)
        << "state " << static_cast<int>(c.state) << " result " << c.result;
  }
}

TEST(PageLoopTable, UnlistedResultsEndTheLoopFromEveryState) {
  for (PageState state : {kS, kW, kT, kE}) {
    for (int result : {-1, 1, 2, 3, 5, 999, 1003, 1005, 65536}) {
      EXPECT_EQ(NextPageState(state, result), kE)
          << "state " << static_cast<int>(state) << " result " << result;
    }
  }
  EXPECT_EQ(NextPageState(kE, kPageNext), kE);
}

// Pages that return their scripted results in turn and record their visits.
class ScriptedPages {
 public:
  explicit ScriptedPages(std::deque<int> results) : results_(std::move(results)) {}

  PageRunners Runners() {
    PageRunners runners;
    runners.setup = [this] { return Visit('S'); };
    runners.waiting = [this] { return Visit('W'); };
    runners.transfer = [this] { return Visit('T'); };
    runners.quitRequested = [this] { return quit; };
    return runners;
  }

  int Visit(char page) {
    visits.push_back(page);
    if (onVisit) onVisit(page);
    // A script that runs out means the loop ran a page too many.
    if (results_.empty()) return -1;
    int result = results_.front();
    results_.pop_front();
    return result;
  }

  std::string visits;
  bool quit = false;
  std::function<void(char)> onVisit;

 private:
  std::deque<int> results_;
};

struct RunCase {
  const char* name;
  std::deque<int> results;
  std::string visits;
};

TEST(PageLoop, RunsThePagesTheResultsChoose) {
  const RunCase cases[] = {
      {"cancel on the setup page", {kPageLeave}, "S"},
      {"cancel on the waiting page", {kPageNext, kPageLeave}, "SW"},
      {"exit on the transfer page", {kPageNext, kPageNext, kPageLeave}, "SWT"},
      {"back from waiting re-runs setup", {kPageNext, kPageBack, kPageLeave}, "SWS"},
      {"unsuitable unit back to setup", {kPageNext, kPageUnsuitable, kPageLeave}, "SWS"},
      {"back from transfer re-runs setup",
       {kPageNext, kPageNext, kPageBack, kPageNext, kPageLeave},
       "SWTSW"},
      {"try again re-enters waiting",
       {kPageNext, kPageNext, kPageTryAgain, kPageNext, kPageLeave},
       "SWTWT"},
      {"next on the transfer page ends", {kPageNext, kPageNext, kPageNext}, "SWT"},
      {"unlisted result on setup ends", {kPageBack}, "S"},
      {"unlisted result on waiting ends", {kPageNext, kPageTryAgain}, "SW"},
  };
  for (const RunCase& c : cases) {
    ScriptedPages pages(c.results);
    RunPageLoop(pages.Runners());
    EXPECT_EQ(pages.visits, c.visits) << c.name;
  }
}

TEST(PageLoop, AQuitRequestBeforeTheFirstPageRunsNoPage) {
  ScriptedPages pages({kPageNext});
  pages.quit = true;
  RunPageLoop(pages.Runners());
  EXPECT_EQ(pages.visits, "");
}

TEST(PageLoop, AQuitRequestDuringAPageEndsTheLoopWhateverThePageReturns) {
  ScriptedPages pages({kPageNext, kPageNext, kPageNext});
  pages.onVisit = [&](char page) {
    if (page == 'W') pages.quit = true;
  };
  RunPageLoop(pages.Runners());
  EXPECT_EQ(pages.visits, "SW");
}

TEST(PageLoop, AMissingPageEndsTheLoopAsALeave) {
  ScriptedPages pages({kPageNext, kPageNext});
  PageRunners runners = pages.Runners();
  runners.transfer = nullptr;
  runners.quitRequested = nullptr;
  RunPageLoop(runners);
  EXPECT_EQ(pages.visits, "SW");
}

}  // namespace
}  // namespace rv4410::test
