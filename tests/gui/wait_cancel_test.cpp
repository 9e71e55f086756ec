// A page's Cancel button clicked while the attention handshake waits for a
// silent unit on the real serial port: the wait ends at once.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "platform/qt_host.h"
#include "protocol/command_lines.h"
#include "protocol/run_state.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace rv4410::test {
namespace {

// The bound from a click to the wait acting on it.
constexpr qint64 kCancelLatencyMs = 50;

// A page with a Cancel button that does what the pages' Cancel does.
class CancelPage : public QWidget {
 public:
  explicit CancelPage(RunState& run) : cancel(new QPushButton("Cancel", this)) {
    QObject::connect(cancel, &QPushButton::clicked, this, [&run] {
      run.CancelRequested = true;
      SerialCloseNow(run.link);
    });
  }
  QPushButton* cancel;
};

// Clicks land at different points of the handshake's eleven-step cycle: in a
// plain attempt, in the reopen at 1200 baud, and in the break before 9600.
class WaitCancelTest : public ::testing::TestWithParam<int> {};

TEST_P(WaitCancelTest, CancelClickedDuringHandshakeEndsItWithin50MsAndLeavesPortClosed) {
  SimProcess sim({"--silent"});
  ASSERT_TRUE(sim.Started());
  sim.BindTo("COM1");
  TempDir dir;
  QtHost host;
  RunState run(host, dir.File("Loader.LOG"));
  CancelPage page(run);
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  ASSERT_EQ(SerialOpen(run.link), 1);

  QElapsedTimer sinceClick;
  QTimer::singleShot(GetParam(), Qt::PreciseTimer, &page, [&] {
    sinceClick.start();
    QTest::mouseClick(page.cancel, Qt::LeftButton);
  });
  // Should the click never come through, end the wait so the test fails, not hangs.
  QTimer::singleShot(GetParam() + 5000, &page, [&] { run.CancelRequested = true; });

  EXPECT_EQ(WaitForOk(run, HandshakeStart::kPlain).ending, Ending::kCancelled);
  ASSERT_TRUE(sinceClick.isValid()) << "the wait ended before the click";
  EXPECT_LE(sinceClick.elapsed(), kCancelLatencyMs);
  EXPECT_FALSE(host.Device().IsOpen());
  EXPECT_EQ(SerialClose(run.link), 0);
}

INSTANTIATE_TEST_SUITE_P(AtPointsOfTheCycle, WaitCancelTest, ::testing::Values(300, 700, 1000));

}  // namespace
}  // namespace rv4410::test
