// The waiting page's window, offscreen, with a simulated unit on a
// pseudo-terminal behind it: its texts, its hidden and disabled controls, and
// the result of each way out.

#include "wizard/qt/waiting_dialog.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/qt_host.h"
#include "protocol/page_results.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace rv4410::test {
namespace {

class WaitingDialogTest : public ::testing::Test {
 protected:
  void StartSim(const std::vector<std::string>& arguments) {
    sim = std::make_unique<SimProcess>(arguments);
    ASSERT_TRUE(sim->Started());
    sim->BindTo("COM1");
    run.log.LogOpen();
  }

  // Runs the page; `action` runs `afterMs` into it, from the dialog's own events.
  int RunPage(WaitingDialog& dialog, int afterMs, std::function<void()> action) {
    if (action) QTimer::singleShot(afterMs, &dialog, std::move(action));
    int result = DoWaiting(run, dialog);
    // The start timer's handler runs on after the page has ended; let it finish.
    QCoreApplication::processEvents();
    return result;
  }

  QPushButton* Button(WaitingDialog& dialog, const char* name) {
    return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
  }

  TempDir dir;
  QtHost host;
  RunState run{host, dir.File("Loader.LOG")};
  std::unique_ptr<SimProcess> sim;
};

TEST_F(WaitingDialogTest, ShowsItsTextsWithNextAndHintHidden) {
  StartSim({"--silent"});
  WaitingDialog dialog(run, {});
  bool iconShown = false;
  int result = RunPage(dialog, 300, [&] {
    iconShown = !dialog.windowIcon().isNull();
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  EXPECT_EQ(result, kPageLeave);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Waiting..."));
  EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("waitingText"))->text(),
            QStringLiteral(
                "Looking for unit...\nPlease plug unit into serial port and turn the\npower ON."));
  EXPECT_EQ(Button(dialog, "backButton")->text(), QStringLiteral("< &Back"));
  EXPECT_EQ(Button(dialog, "cancelButton")->text(), QStringLiteral("Cancel"));
  EXPECT_EQ(Button(dialog, "nextButton")->text(), QStringLiteral("&Next >"));
  EXPECT_TRUE(Button(dialog, "nextButton")->isHidden());
  EXPECT_TRUE(dialog.findChild<QLabel*>(QStringLiteral("hintText"))->isHidden());
  EXPECT_TRUE(Button(dialog, "nextButton")->isEnabled());
  EXPECT_TRUE(iconShown);
  EXPECT_FALSE(run.link.open);
}

TEST_F(WaitingDialogTest, WriteMapDisablesNextAndHint) {
  StartSim({"--silent"});
  run.settings.function = kWriteMap;
  WaitingDialog dialog(run, {1, 1});
  EXPECT_EQ(RunPage(dialog, 300, [&] { Button(dialog, "cancelButton")->click(); }), kPageLeave);
  EXPECT_FALSE(Button(dialog, "nextButton")->isEnabled());
  EXPECT_FALSE(dialog.findChild<QLabel*>(QStringLiteral("hintText"))->isEnabled());
}

TEST_F(WaitingDialogTest, FindsTheUnitAndGoesOnByItself) {
  StartSim({});
  WaitingDialog dialog(run, {});
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(RunPage(dialog, 0, nullptr), kPageNext);
  EXPECT_TRUE(run.UnitInfoValid);
  EXPECT_GE(clock.elapsed(), kWaitingStartMs);
  EXPECT_FALSE(run.link.open);
}

TEST_F(WaitingDialogTest, BackDuringTheHandshakeGivesBack) {
  StartSim({"--silent"});
  WaitingDialog dialog(run, {});
  EXPECT_EQ(RunPage(dialog, 1500,
                    [&] { QTest::mouseClick(Button(dialog, "backButton"), Qt::LeftButton); }),
            kPageBack);
  EXPECT_FALSE(run.link.open);
  EXPECT_TRUE(run.CancelRequested);
}

TEST_F(WaitingDialogTest, CancelDuringTheHandshakeLeavesWithThePortClosed) {
  StartSim({"--silent"});
  WaitingDialog dialog(run, {});
  QElapsedTimer clock;
  clock.start();
  EXPECT_EQ(RunPage(dialog, 1500,
                    [&] { QTest::mouseClick(Button(dialog, "cancelButton"), Qt::LeftButton); }),
            kPageLeave);
  EXPECT_FALSE(run.link.open);
  EXPECT_LT(clock.elapsed(), 1500 + 1000);
}

TEST_F(WaitingDialogTest, ClosingTheWindowLeaves) {
  StartSim({"--silent"});
  WaitingDialog dialog(run, {});
  EXPECT_EQ(RunPage(dialog, 1500, [&] { dialog.close(); }), kPageLeave);
  EXPECT_FALSE(run.link.open);
}

TEST_F(WaitingDialogTest, EnterIsTheDefaultCommandEvenOnAButton) {
  StartSim({"--silent"});
  WaitingDialog dialog(run, {});
  EXPECT_EQ(RunPage(dialog, 1500,
                    [&] {
                      Button(dialog, "cancelButton")->setFocus();
                      QTest::keyClick(Button(dialog, "cancelButton"), Qt::Key_Return);
                    }),
            kPageNext);
  EXPECT_FALSE(run.UnitInfoValid);
  EXPECT_FALSE(run.link.open);
}

}  // namespace
}  // namespace rv4410::test
