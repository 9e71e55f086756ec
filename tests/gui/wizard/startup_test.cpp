// Start-up and shutdown of the loader program, offscreen: the banner, the
// splash before every page, the setup runner first, the real waiting page
// behind it, a read of the configuration through every page, and the port
// and the log closed at the end.

#include "wizard/qt/startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "platform/qt_host.h"
#include "protocol/page_results.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "wizard/qt/splash_window.h"
#include "wizard/qt/transfer_dialog.h"
#include "wizard/qt/waiting_dialog.h"

namespace rv4410::test {
namespace {

const std::string kRule(73, '=');

// Acts on the modal windows as they come up: ends each splash by Escape
// (or by a close request) once it has been seen, and hands other windows to `onPage`.
class ModalDriver : public QObject {
 public:
  ModalDriver() {
    poll_.setInterval(20);
    connect(&poll_, &QTimer::timeout, this, [this] { Look(); });
    poll_.start();
  }

  bool closeSplash = false;
  int splashesSeen = 0;
  std::function<void(QWidget*)> onPage;

 private:
  void Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal->property("driverSeen").toBool()) return;
    modal->setProperty("driverSeen", true);
    if (auto* splash = qobject_cast<SplashWindow*>(modal)) {
      ++splashesSeen;
      if (closeSplash) {
        splash->close();
      } else {
        QTest::keyClick(splash, Qt::Key_Escape);
      }
      return;
    }
    if (onPage) onPage(modal);
  }

  QTimer poll_;
};

class StartupTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // A quit request leaves Qt refusing to run event loops until the
    // application's own loop has run once; run it, so later tests are unaffected.
    if (quitPosted) {
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
      QCoreApplication::exec();
    }
  }

  std::string Log() const { return ReadFile(dir.File("Loader.LOG")); }

  TempDir dir;
  QtHost host;
  LoaderState state{host, dir.File("Loader.LOG")};
  ModalDriver driver;
  bool quitPosted = false;
};

TEST_F(StartupTest, BannerAndSplashComeFirstThenSetupAndShutdownClosesPortAndLog) {
  SimProcess sim({"--silent"});
  ASSERT_TRUE(sim.Started());
  sim.BindTo("COM1");
  int setupRuns = 0;
  std::string logAtSetup;
  int splashesBeforeSetup = -1;
  bool bufferAtSetup = false;
  int result = RunWizard(state, [&] {
    ++setupRuns;
    logAtSetup = Log();
    splashesBeforeSetup = driver.splashesSeen;
    bufferAtSetup = state.run.link.ioBuffer != nullptr;
    // A page that leaves the port open: shutdown must close it.
    EXPECT_EQ(SerialOpen(state.run.link), 1);
    return kPageLeave;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(setupRuns, 1);
  EXPECT_EQ(splashesBeforeSetup, 1);
  EXPECT_TRUE(bufferAtSetup);
  std::size_t banner =
      logAtSetup.find("\n" + kRule + "\n" + kRule + "\nThe current date and time are: ");
  std::size_t splash = logAtSetup.find("... DoSplash()\n");
  ASSERT_NE(banner, std::string::npos) << logAtSetup;
  ASSERT_NE(splash, std::string::npos) << logAtSetup;
  EXPECT_LT(banner, splash);
  EXPECT_EQ(logAtSetup.rfind("\r\n\r\n\n", banner), 0u) << "the banner opens the log";
  EXPECT_FALSE(state.run.link.open);
  EXPECT_FALSE(state.run.log.IsOpen());
  EXPECT_EQ(state.run.link.ioBuffer, nullptr);
  // Nothing is written after the close.
  EXPECT_EQ(state.run.log.LogLine("late"), 0);
  EXPECT_EQ(Log().find("late"), std::string::npos);
}

TEST_F(StartupTest, NextLeadsToTheWaitingPageAndBackRunsTheSetupRunnerAgain) {
  SimProcess sim({"--silent"});
  ASSERT_TRUE(sim.Started());
  sim.BindTo("COM1");
  int waitingPages = 0;
  driver.onPage = [&](QWidget* page) {
    auto* waiting = qobject_cast<WaitingDialog*>(page);
    if (waiting == nullptr) return;
    ++waitingPages;
    QPushButton* button = waiting->findChild<QPushButton*>(
        waitingPages == 1 ? QStringLiteral("backButton") : QStringLiteral("cancelButton"));
    QTimer::singleShot(300, button, &QPushButton::click);
  };
  std::vector<int> setupResults = {kPageNext, kPageNext};
  int setupRuns = 0;
  int result = RunWizard(state, [&] { return setupResults.at(setupRuns++); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(setupRuns, 2);
  EXPECT_EQ(waitingPages, 2);
  std::string log = Log();
  std::size_t first = log.find("... DoWaiting()");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(log.find("... DoWaiting()", first + 1), std::string::npos);
  EXPECT_EQ(log.find("... DoTransfer()"), std::string::npos);
  EXPECT_FALSE(state.run.link.open);
  EXPECT_FALSE(state.run.log.IsOpen());
}

TEST_F(StartupTest, ACloseRequestOnTheSplashEndsTheProgramBeforeAnyPage) {
  driver.closeSplash = true;
  quitPosted = true;
  int setupRuns = 0;
  int result = RunWizard(state, [&] {
    ++setupRuns;
    return kPageNext;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(setupRuns, 0);
  EXPECT_NE(Log().find("... DoSplash()"), std::string::npos);
  EXPECT_FALSE(state.run.log.IsOpen());
}

TEST_F(StartupTest, AQuitRequestInsideTheWaitingPagesHandshakeEndsItAndTheLoop) {
  SimProcess sim({"--silent"});
  ASSERT_TRUE(sim.Started());
  sim.BindTo("COM1");
  quitPosted = true;
  QElapsedTimer sinceQuit;
  driver.onPage = [&](QWidget* page) {
    if (qobject_cast<WaitingDialog*>(page) == nullptr) return;
    // Past the one-second start timer: the handshake is waiting for a reply.
    QTimer::singleShot(1500, [&] {
      sinceQuit.start();
      PostQuitRequest();
    });
  };
  int setupRuns = 0;
  int result = RunWizard(state, [&] {
    ++setupRuns;
    return kPageNext;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(setupRuns, 1);
  ASSERT_TRUE(sinceQuit.isValid());
  EXPECT_LT(sinceQuit.elapsed(), 1000);
  EXPECT_EQ(Log().find("... DoTransfer()"), std::string::npos);
  EXPECT_FALSE(state.run.link.open);
  EXPECT_FALSE(state.run.log.IsOpen());
}

TEST_F(StartupTest, AReadThroughEveryPageSavesTheUnitsConfigurationAndExitEnds) {
  SimProcess sim({"--reply-delay-ms", "0"});
  ASSERT_TRUE(sim.Started());
  sim.BindTo("COM1");
  std::string saved = dir.File("param.dat");
  bool doneBeforeExit = false;
  QTimer poll;
  driver.onPage = [&](QWidget* page) {
    auto* transfer = qobject_cast<TransferDialog*>(page);
    if (transfer == nullptr) return;
    QElapsedTimer since;
    since.start();
    QObject::connect(&poll, &QTimer::timeout, transfer, [&, transfer, since] {
      doneBeforeExit = Log().find("Done...") != std::string::npos;
      if (!doneBeforeExit && since.elapsed() < 60'000) return;
      poll.stop();
      transfer->findChild<QPushButton*>(QStringLiteral("exitButton"))->click();
    });
    poll.start(100);
  };
  int setupRuns = 0;
  int result = RunWizard(state, [&] {
    ++setupRuns;
    state.run.settings.function = kReadConfiguration;
    state.run.settings.configFile = saved;
    return kPageNext;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(setupRuns, 1);
  EXPECT_TRUE(doneBeforeExit) << Log();
  EXPECT_NE(ReadFile(saved).find("Demo Mode"), std::string::npos);
  std::string log = Log();
  std::size_t waiting = log.find("... DoWaiting()");
  std::size_t transfer = log.find("... DoTransfer()");
  ASSERT_NE(waiting, std::string::npos);
  ASSERT_NE(transfer, std::string::npos);
  EXPECT_LT(waiting, transfer);
  EXPECT_FALSE(state.run.link.open);
  EXPECT_FALSE(state.run.log.IsOpen());
}

}  // namespace
}  // namespace rv4410::test
