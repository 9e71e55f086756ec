// The transfer page's window, offscreen, with the real serial port and a
// simulated unit on a pseudo-terminal behind it: its controls and texts, the
// commands while an operation runs, the cursor, and whole configuration reads
// and writes.

#include "wizard/qt/transfer_dialog.h"

#include "wizard/qt/log_window_widget.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "modal_answerer.h"
#include "platform/qt_host.h"
#include "protocol/page_results.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace rv4410::test {
namespace {

constexpr const char* kUnitList =
    "ADF-1 Select    0x00000000\r\n"
    "DG Select       0x00000005\r\n"
    "LCD Vpos        0x000000AF\r\n"
    "Map1 Cat Select  0x00000001\r\n"
    "Swap Reason     0xFFFFFFFE\r\n";

class TransferDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state.run.log.LogOpen();
    state.run.settings.configFile = dir.File("param.dat");
  }

  void StartSim(std::vector<std::string> arguments) {
    WriteFile(unitIn, kUnitList);
    arguments.insert(arguments.end(), {"--params-in", unitIn, "--params-out", unitOut});
    sim = std::make_unique<SimProcess>(arguments);
    ASSERT_TRUE(sim->Started());
    sim->BindTo("COM1");
  }

  // Runs the page; `action` runs `afterMs` into it, from the dialog's own events.
  int RunPage(TransferDialog& dialog, int afterMs, std::function<void()> action) {
    if (action) QTimer::singleShot(afterMs, &dialog, std::move(action));
    int result = DoTransfer(state, dialog);
    // The start timer's handler may run on after the page has ended; let it finish.
    QCoreApplication::processEvents();
    return result;
  }

  // Presses Exit (or Enter) once the operation has finished, i.e. once "Done..." shows.
  void ExitWhenDone(TransferDialog& dialog, bool enter = false) {
    auto* poll = new QTimer(&dialog);
    QObject::connect(poll, &QTimer::timeout, &dialog, [this, &dialog, enter] {
      // After "Done..." the port is closed once the last bytes have left.
      if (LogShown(dialog).contains(QStringLiteral("Done...")) && !state.OperationRunning) {
        exitWasEnabled = Button(dialog, "exitButton")->isEnabled();
        cursorWhenDone = dialog.cursor().shape();
        if (enter) {
          QTest::keyClick(&dialog, Qt::Key_Return);
        } else {
          Button(dialog, "exitButton")->click();
        }
      }
    });
    poll->start(50);
  }

  static QString LogShown(TransferDialog& dialog) {
    return dialog.findChild<LogWindowWidget*>(QStringLiteral("logWindow"))->Shown();
  }
  static QPushButton* Button(TransferDialog& dialog, const char* name) {
    return dialog.findChild<QPushButton*>(QString::fromLatin1(name));
  }
  static QLineEdit* Field(TransferDialog& dialog, const char* name) {
    return dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
  }

  TempDir dir;
  QtHost host;
  LoaderState state{host, dir.File("Loader.LOG")};
  std::string unitIn = dir.File("unit-in.dat");
  std::string unitOut = dir.File("unit-out.dat");
  std::unique_ptr<SimProcess> sim;
  bool exitWasEnabled = false;
  Qt::CursorShape cursorWhenDone = Qt::BitmapCursor;
};

TEST_F(TransferDialogTest, ShowsItsControlsAndTexts) {
  StartSim({"--silent"});
  state.run.settings.function = kReadConfiguration;
  TransferDialog dialog(state);
  bool iconShown = false;
  Qt::CursorShape during = Qt::BitmapCursor;
  int result = RunPage(dialog, 1500, [&] {
    iconShown = !dialog.windowIcon().isNull();
    during = dialog.cursor().shape();
    Button(dialog, "exitButton")->click();
  });
  EXPECT_EQ(result, kPageLeave);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Transfer Status"));
  EXPECT_EQ(Button(dialog, "backButton")->text(), QStringLiteral("< &Back"));
  EXPECT_EQ(Button(dialog, "exitButton")->text(), QStringLiteral("Exit"));
  auto* progress = dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"));
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->minimum(), 0);
  EXPECT_EQ(progress->maximum(), 1000);
  EXPECT_EQ(progress->value(), 0);
  for (const char* name : {"status1032", "status1033"}) {
    ASSERT_NE(Field(dialog, name), nullptr) << name;
    EXPECT_TRUE(Field(dialog, name)->isReadOnly());
    EXPECT_EQ(Field(dialog, name)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
  }
  EXPECT_NE(dialog.findChild<QWidget*>(QStringLiteral("picture")), nullptr);
  EXPECT_NE(dialog.findChild<QWidget*>(QStringLiteral("etchedLine")), nullptr);
  EXPECT_TRUE(LogShown(dialog).startsWith(QStringLiteral("Communications ready")));
  EXPECT_TRUE(iconShown);
  EXPECT_EQ(during, Qt::BusyCursor);
  EXPECT_FALSE(state.run.link.open);
}

TEST_F(TransferDialogTest, BackAndTheCloseBoxEndThePageWhileAnOperationRuns) {
  StartSim({"--silent"});
  state.run.settings.function = kReadConfiguration;
  {
    TransferDialog dialog(state);
    EXPECT_EQ(RunPage(dialog, 1600, [&] { Button(dialog, "backButton")->click(); }), kPageBack);
  }
  {
    TransferDialog dialog(state);
    EXPECT_EQ(RunPage(dialog, 1600, [&] { dialog.close(); }), kPageLeave);
  }
  EXPECT_FALSE(state.run.link.open);
  EXPECT_TRUE(state.run.CancelRequested);
}

TEST_F(TransferDialogTest, ExitIsDisabledDuringAnUploadWhileBackStillEndsIt) {
  StartSim({});
  state.run.settings.function = kWriteMap;
  state.run.UnitInfoValid = true;
  LoadedImage& map = state.files.loadedImage;
  ASSERT_TRUE(map.Allocate(64 * 1024));
  map.length = 64 * 1024;
  TransferDialog dialog(state);
  bool exitEnabled = true;
  bool endedByEnter = true;
  Qt::CursorShape during = Qt::BitmapCursor;
  int result = RunPage(dialog, 2500, [&] {
    exitEnabled = Button(dialog, "exitButton")->isEnabled();
    during = dialog.cursor().shape();
    // A stray Enter would end the program with the unit left in load mode.
    QTest::keyClick(&dialog, Qt::Key_Return);
    endedByEnter = dialog.Ended();
    Button(dialog, "backButton")->click();
  });
  EXPECT_EQ(result, kPageBack);
  EXPECT_FALSE(exitEnabled);
  EXPECT_FALSE(endedByEnter);
  EXPECT_EQ(during, Qt::BusyCursor);
  EXPECT_FALSE(state.run.link.open);
  // The driver's ending gives Exit back and the arrow.
  EXPECT_TRUE(Button(dialog, "exitButton")->isEnabled());
  EXPECT_EQ(dialog.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(TransferDialogTest, EnterWaitsForTheOperationAndEscapeFollowsTheExitButton) {
  StartSim({"--silent"});
  state.run.settings.function = kReadConfiguration;
  TransferDialog dialog(state);
  bool endedByEnter = true;
  bool endedWhileDisabled = true;
  int result = RunPage(dialog, 1600, [&] {
    // The read runs with "Exit" enabled; Enter is still no command.
    QTest::keyClick(&dialog, Qt::Key_Enter);
    endedByEnter = dialog.Ended();
    dialog.EnableExit(false);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    endedWhileDisabled = dialog.Ended();
    dialog.EnableExit(true);
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  EXPECT_FALSE(endedByEnter);
  EXPECT_FALSE(endedWhileDisabled);
  EXPECT_EQ(result, kPageLeave);
}

TEST_F(TransferDialogTest, AWholeReadSavesTheUnitsParametersAndEnterThenEndsThePage) {
  StartSim({});
  state.run.settings.function = kReadConfiguration;
  TransferDialog dialog(state);
  ExitWhenDone(dialog, true);
  EXPECT_EQ(DoTransfer(state, dialog), kPageNext);
  EXPECT_EQ(ReadFile(state.run.settings.configFile), kUnitList);
  EXPECT_TRUE(exitWasEnabled);
  EXPECT_EQ(cursorWhenDone, Qt::ArrowCursor);
  EXPECT_FALSE(state.run.link.open);
}

TEST_F(TransferDialogTest, AWholeWriteLeavesTheFilesValuesInTheUnit) {
  StartSim({});
  const std::string changed =
      "ADF-1 Select    0x00000001\r\n"
      "DG Select       0x00000002\r\n"
      "LCD Vpos        0x000000B0\r\n"
      "Map1 Cat Select  0x00000003\r\n"
      "Swap Reason     0x00000004\r\n";
  WriteFile(state.run.settings.configFile, changed);
  state.run.settings.function = kWriteConfiguration;
  state.run.UnitInfoValid = true;
  TransferDialog dialog(state);
  ExitWhenDone(dialog);
  EXPECT_EQ(DoTransfer(state, dialog), kPageLeave);
  EXPECT_TRUE(LogShown(dialog).contains(QStringLiteral("Resetting Unit")));
  sim->Stop();
  EXPECT_EQ(ReadFile(unitOut), changed);
}

TEST_F(TransferDialogTest, AFailureThatLeavesThePageOpenSaysSoAndStopsTheBar) {
  StartSim({});
  WriteFile(state.run.settings.configFile, "no parameters here\r\n");
  state.run.settings.function = kWriteConfiguration;
  ModalAnswerer answerer;
  TransferDialog dialog(state);
  QString status;
  bool barEnabled = true;
  bool exitEnabled = false;
  auto* poll = new QTimer(&dialog);
  QObject::connect(poll, &QTimer::timeout, &dialog, [&] {
    if (!Field(dialog, "status1033")->text().startsWith(QStringLiteral("Failed"))) return;
    poll->stop();
    status = Field(dialog, "status1033")->text();
    barEnabled = dialog.findChild<QProgressBar*>(QStringLiteral("progressBar"))->isEnabled();
    exitEnabled = Button(dialog, "exitButton")->isEnabled();
    Button(dialog, "exitButton")->click();
  });
  poll->start(50);
  // A page that never says so fails the test rather than hanging it.
  QTimer::singleShot(20'000, &dialog, [&] { Button(dialog, "backButton")->click(); });
  EXPECT_EQ(DoTransfer(state, dialog), kPageLeave);
  EXPECT_EQ(answerer.boxes.size(), 1u);
  EXPECT_EQ(status, QStringLiteral("Failed: it holds no parameter line"));
  EXPECT_FALSE(barEnabled);
  EXPECT_TRUE(exitEnabled);
  EXPECT_TRUE(LogShown(dialog).contains(QStringLiteral("Failed: it holds no parameter line")));
}

}  // namespace
}  // namespace rv4410::test
