// The whole wizard as the user meets it, offscreen: the real setup page, the
// waiting page that finds the unit, the transfer page, the real QSerialPort
// and rv4410-sim on a pseudo-terminal. Every function from the setup page to
// "Done", and the page loop's ways back.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>

#include "gui/modal_answerer.h"
#include "platform/qt_host.h"
#include "support/image_builders.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "wizard/qt/setup_dialog.h"
#include "wizard/qt/splash_window.h"
#include "wizard/qt/startup.h"
#include "wizard/qt/transfer_dialog.h"
#include "wizard/qt/waiting_dialog.h"
#include "wizard/setup_page.h"

namespace rv4410::test {
namespace {

// The unit's list as it starts, a few values set apart from the installed ones.
const char kUnitList[] =
    "ADF-1 Select    0x00000000\r\n"
    "DG Select       0x00000005\r\n"
    "LCD Vpos        0x000000AF\r\n"
    "HDG             0x00000167\r\n";

// What the user writes into the unit: other values for the same parameters.
const char kUserList[] =
    "ADF-1 Select    0x00000001\r\n"
    "DG Select       0x00000003\r\n"
    "LCD Vpos        0x000000B0\r\n"
    "HDG             0x0000005A\r\n";

// What the user does on one pass through the setup page.
struct SetupChoice {
  int radio = kReadConfiguration;
  // Typed into the fields when not empty.
  std::string program, config, map;
  // The button pressed at the end.
  int button = kSetupNextButton;
};

SetupChoice Choose(int radio, std::string program, std::string config, std::string map) {
  SetupChoice choice;
  choice.radio = radio;
  choice.program = std::move(program);
  choice.config = std::move(config);
  choice.map = std::move(map);
  return choice;
}

class WizardEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    // The setup page proposes files from the working folder: the test's own.
    previousFolder_ = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    answerer.onBox = [this](const QMessageBox& box) {
      return box.standardButtons().testFlag(QMessageBox::Yes) ? NextYesNo() : QMessageBox::Ok;
    };
    answerer.onDialog = [this](QDialog& dialog) { return OnDialog(dialog); };
  }
  void TearDown() override { std::filesystem::current_path(previousFolder_); }

  void StartSim(std::vector<std::string> arguments) {
    WriteFile(paramsIn, kUnitList);
    arguments.insert(arguments.end(), {"--reply-delay-ms",
                                       "0",
                                       "--program-erase-ms",
                                       "100",
                                       "--map-erase-ms",
                                       "100",
                                       "--restart-ms",
                                       "300",
                                       "--params-in",
                                       paramsIn,
                                       "--params-out",
                                       paramsOut,
                                       "--journal",
                                       journal,
                                       "--program-out",
                                       programOut,
                                       "--map-out",
                                       mapOut,
                                       "--map-control-block-out",
                                       mapBlockOut});
    sim = std::make_unique<SimProcess>(arguments);
    ASSERT_TRUE(sim->Started());
    sim->BindTo("COM1");
  }

  // Runs the program from the splash to its end.
  int Run() { return RunWizard(state, SetupPageRunner(state)); }

  // The unit takes the last command after the port has closed: wait for it
  // in the journal (3 s at most), then stop the unit so that it saves its list.
  void StopSimAfter(const std::string& command) {
    QElapsedTimer clock;
    clock.start();
    while (ReadFile(journal).find(" command " + command) == std::string::npos &&
           clock.elapsed() < 3000) {
      QThread::msleep(20);
    }
    sim->Stop();
  }

  std::string Log() const { return ReadFile(dir.File("Loader.LOG")); }
  std::size_t Count(const std::string& text) const {
    std::string log = Log();
    std::size_t count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
      ++count;
    }
    return count;
  }
  void ExpectClosed() {
    EXPECT_FALSE(state.run.link.open);
    EXPECT_FALSE(state.run.log.IsOpen());
  }

  TempDir dir;
  QtHost host;
  LoaderState state{host, dir.File("Loader.LOG")};
  ModalAnswerer answerer;
  std::unique_ptr<SimProcess> sim;
  std::string paramsIn = dir.File("unit-in.txt");
  std::string paramsOut = dir.File("unit-out.txt");
  std::string journal = dir.File("journal.txt");
  std::string programOut = dir.File("flashed-program.img");
  std::string mapOut = dir.File("flashed-map.img");
  std::string mapBlockOut = dir.File("flashed-map-block.img");

  // The passes through the setup page, in order; past the last, Cancel.
  std::vector<SetupChoice> choices;
  // The field texts the setup page proposed on each pass, before any typing.
  std::vector<std::array<std::string, 3>> proposed;
  // The answers to boxes that ask Yes or No, in order; past the last, No.
  std::vector<QMessageBox::StandardButton> yesNo;
  // What the waiting and transfer pages do once shown: nothing (the page
  // goes on by itself) unless set; the transfer page's default is Exit at "Done".
  std::function<void(WaitingDialog&)> onWaiting;
  std::function<void(TransferDialog&)> onTransfer;
  int setupPasses = 0, waitingPages = 0, transferPages = 0;
  // The transfer page's status when Exit was pressed.
  std::vector<std::string> exitStatus;

 private:
  QMessageBox::StandardButton NextYesNo() {
    QMessageBox::StandardButton answer =
        yesNoAnswered_ < yesNo.size() ? yesNo[yesNoAnswered_] : QMessageBox::No;
    ++yesNoAnswered_;
    return answer;
  }

  bool OnDialog(QDialog& dialog) {
    if (auto* splash = qobject_cast<SplashWindow*>(&dialog)) {
      QTest::keyClick(splash, Qt::Key_Escape);
    } else if (auto* setup = qobject_cast<SetupDialog*>(&dialog)) {
      OnSetup(*setup);
    } else if (auto* waiting = qobject_cast<WaitingDialog*>(&dialog)) {
      ++waitingPages;
      if (onWaiting) onWaiting(*waiting);
    } else if (auto* transfer = qobject_cast<TransferDialog*>(&dialog)) {
      ++transferPages;
      if (onTransfer) {
        onTransfer(*transfer);
      } else {
        ExitAtDone(*transfer);
      }
    } else {
      return false;
    }
    return true;
  }

  void OnSetup(SetupDialog& page) {
    auto field = [&page](int id) {
      return page.findChild<QLineEdit*>(QStringLiteral("edit%1").arg(id));
    };
    auto button = [&page](const QString& name) { return page.findChild<QAbstractButton*>(name); };
    proposed.push_back({field(kSetupProgramField)->text().toStdString(),
                        field(kSetupConfigField)->text().toStdString(),
                        field(kSetupMapField)->text().toStdString()});
    SetupChoice choice;
    if (static_cast<std::size_t>(setupPasses) < choices.size()) {
      choice = choices[setupPasses];
    } else {
      choice.button = kSetupCancelButton;
    }
    ++setupPasses;
    QPointer<SetupDialog> guard(&page);
    QTimer::singleShot(50, &page, [guard, choice, field, button] {
      if (!guard) return;
      QTest::mouseClick(button(QStringLiteral("radio%1").arg(choice.radio)), Qt::LeftButton);
      auto type = [&](int id, const std::string& text) {
        if (text.empty()) return;
        field(id)->clear();
        QTest::keyClicks(field(id), QString::fromStdString(text));
      };
      type(kSetupProgramField, choice.program);
      type(kSetupConfigField, choice.config);
      type(kSetupMapField, choice.map);
      button(QStringLiteral("button%1").arg(choice.button))->click();
    });
  }

  // Presses Exit once the operation has ended with "Done" (in the log, and
  // on the status line after an upload) and no box is open over the page.
  void ExitAtDone(TransferDialog& page) {
    auto* poll = new QTimer(&page);
    const std::size_t donesBefore = Count("Done...");
    QObject::connect(poll, &QTimer::timeout, &page, [this, &page, poll, donesBefore] {
      if (state.OperationRunning || QApplication::activeModalWidget() != &page ||
          Count("Done...") == donesBefore) {
        return;
      }
      poll->stop();
      exitStatus.push_back(
          page.findChild<QLineEdit*>(QStringLiteral("status1033"))->text().trimmed().toStdString());
      page.findChild<QPushButton*>(QStringLiteral("exitButton"))->click();
    });
    poll->start(50);
  }

  std::filesystem::path previousFolder_;
  std::size_t yesNoAnswered_ = 0;
};

TEST_F(WizardEndToEnd, ReadConfigurationSavesTheUnitsListIntoTheChosenFile) {
  StartSim({});
  choices = {Choose(kReadConfiguration, "", dir.File("read.dat"), "")};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(ReadFile(dir.File("read.dat")), kUnitList);
  EXPECT_EQ(exitStatus.size(), 1u);
  EXPECT_TRUE(answerer.boxes.empty()) << answerer.boxes[0].text.toStdString();
  ExpectClosed();
}

TEST_F(WizardEndToEnd, WriteConfigurationPutsTheFilesListIntoTheUnit) {
  StartSim({});
  WriteFile(dir.File("mine.dat"), kUserList);
  choices = {Choose(kWriteConfiguration, "", dir.File("mine.dat"), "")};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(exitStatus.size(), 1u);
  sim->Stop();
  EXPECT_EQ(ReadFile(paramsOut), kUserList);
  EXPECT_EQ(ReadFile(dir.File("mine.dat")), kUserList);
  ExpectClosed();
}

TEST_F(WizardEndToEnd, BlockProgramUploadFlashesTheImageAndRestoresTheConfiguration) {
  StartSim({});
  Bytes image = BuildProgramImage({.length = 8 * 1024, .seed = 7});
  WriteFile(dir.File("RV4410_new.hex"), HexText(image));
  choices = {Choose(kWriteProgram, dir.File("RV4410_new.hex"), dir.File("saved.dat"), "")};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(exitStatus, std::vector<std::string>{"Done"});
  StopSimAfter("RESET");
  EXPECT_EQ(ReadFile(programOut), AsString(image));
  EXPECT_EQ(ReadFile(dir.File("saved.dat")), kUnitList);
  EXPECT_EQ(ReadFile(paramsOut), kUnitList);
  EXPECT_TRUE(answerer.boxes.empty()) << answerer.boxes[0].text.toStdString();
  ExpectClosed();
}

TEST_F(WizardEndToEnd, RawProgramUploadToAUnitWithoutIdentificationAsksForAnotherUnit) {
  StartSim({"--no-identification"});
  Bytes image = BuildProgramImage({.length = 2 * 1024, .seed = 8});
  WriteFile(dir.File("RV4410_new.hex"), HexText(image));
  choices = {Choose(kWriteProgram, dir.File("RV4410_new.hex"), dir.File("saved.dat"), "")};
  EXPECT_EQ(Run(), 0);
  // The raw upload ends its page itself with the answer to "Upload to another
  // unit?", after its "Done...".
  EXPECT_TRUE(exitStatus.empty());
  EXPECT_EQ(Count("Done..."), 1u);
  StopSimAfter("RESET");
  EXPECT_EQ(ReadFile(programOut), AsString(image));
  EXPECT_EQ(ReadFile(paramsOut), kUnitList);
  EXPECT_EQ(
      answerer.BoxTexts(),
      std::vector<QString>{QStringLiteral("Program upload completed\nUpload to another unit?")});
  ExpectClosed();
}

TEST_F(WizardEndToEnd, MapUploadFlashesTheSampleMapAndItsControlBlock) {
  ASSERT_EQ(std::system(("\"" RV4410_SIM_PATH "\" --write-samples \"" + dir.Path() + "\"").c_str()),
            0);
  std::string sample = dir.File("RV4410_sample.bin");
  std::string file = ReadFile(sample);
  ASSERT_GT(file.size(), kMapDataAt);
  StartSim({});
  choices = {Choose(kWriteMap, "", "", sample)};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(exitStatus, std::vector<std::string>{"Done"});
  sim->Stop();
  // The map data: L bytes behind the control block, before the trailer.
  auto length = static_cast<std::size_t>(state.files.loadedImage.length);
  EXPECT_EQ(ReadFile(mapOut), file.substr(kMapDataAt, length));
  std::string block = ReadFile(mapBlockOut);
  EXPECT_FALSE(block.empty());
  EXPECT_EQ(block.size(), state.files.mapControlBlock.bytes.size());
  ExpectClosed();
}

TEST_F(WizardEndToEnd, BackFromEitherPageReturnsToAFreshSetupPageAndCancelEnds) {
  StartSim({});
  choices = {Choose(kReadConfiguration, "", dir.File("typed1.dat"), ""),
             Choose(kReadConfiguration, "", dir.File("typed2.dat"), "")};
  onWaiting = [this](WaitingDialog& page) {
    // The first waiting page is left by Back; the second finds the unit.
    if (waitingPages == 1) {
      QTimer::singleShot(300, page.findChild<QPushButton*>(QStringLiteral("backButton")),
                         &QPushButton::click);
    }
  };
  onTransfer = [](TransferDialog& page) {
    auto* back = page.findChild<QPushButton*>(QStringLiteral("backButton"));
    auto* poll = new QTimer(&page);
    QObject::connect(poll, &QTimer::timeout, back, [back, poll] {
      if (!back->isEnabled()) return;
      poll->stop();
      back->click();
    });
    poll->start(50);
  };
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(setupPasses, 3);
  EXPECT_EQ(waitingPages, 2);
  EXPECT_EQ(transferPages, 1);
  ASSERT_EQ(proposed.size(), 3u);
  const std::regex fresh("RV4410_Param_[0-9]+\\.dat");
  for (const auto& fields : proposed) {
    EXPECT_TRUE(std::regex_match(fields[1], fresh)) << fields[1];
  }
  EXPECT_EQ(Count("... DoSetup()"), 3u);
  ExpectClosed();
  EXPECT_EQ(Log().find("late"), std::string::npos);
}

TEST_F(WizardEndToEnd, ReadFailureAnsweredTryAgainReturnsToTheWaitingPage) {
  StartSim({"--silent-after-lines", "2"});
  choices = {Choose(kReadConfiguration, "", dir.File("read.dat"), "")};
  yesNo = {QMessageBox::Yes, QMessageBox::No};
  onTransfer = [](TransferDialog&) {};
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(waitingPages, 2);
  EXPECT_EQ(transferPages, 2);
  std::string log = Log();
  std::size_t transfer = log.find("... DoTransfer()");
  ASSERT_NE(transfer, std::string::npos);
  EXPECT_NE(log.find("... DoWaiting()", transfer), std::string::npos);
  ExpectClosed();
}

}  // namespace
}  // namespace rv4410::test
