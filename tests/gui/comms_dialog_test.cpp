// The communications dialog's window, offscreen, under the real Qt host: its
// buttons and their device states, "OK" proving the port through a real box,
// and the rate in force shown when it opens. COM1 reaches a pseudo-terminal,
// COM2 a device that does not exist.

#include "wizard/qt/comms_dialog.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "gui/modal_answerer.h"
#include "platform/qt_host.h"
#include "support/temp_dir.h"
#include "wizard/qt/dialog_units.h"

namespace rv4410::test {
namespace {

class CommsDialogTest : public ::testing::Test {
 protected:
  CommsDialogTest() {
    int slave = -1;
    char name[128] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) == 0) {
      close(slave);
      com1_ = name;
    }
    setenv("RV4410_COM1", com1_.c_str(), 1);
    setenv("RV4410_COM2", dir.File("ttyUSB9").c_str(), 1);
    run.log.LogOpen();
  }
  ~CommsDialogTest() override {
    unsetenv("RV4410_COM1");
    unsetenv("RV4410_COM2");
    if (master_ >= 0) close(master_);
  }

  // Runs the dialog; `action` runs once it is shown, and Cancel ends it after.
  int RunDialog(CommsDialog& dialog, std::function<void()> action) {
    QTimer::singleShot(50, &dialog, [this, &dialog, action] {
      if (action) action();
      stayed = dialog.isVisible();
      if (stayed) Radio(dialog, "button2")->click();
    });
    return DoComms(run, static_cast<CommsPage&>(dialog));
  }
  static QAbstractButton* Radio(CommsDialog& dialog, const char* name) {
    return dialog.findChild<QAbstractButton*>(QString::fromLatin1(name));
  }
  static QString Device(CommsDialog& dialog, int id) {
    return dialog.findChild<QLabel*>(QStringLiteral("device%1").arg(id))->text();
  }
  std::string LogText() const { return ReadFile(dir.File("Loader.LOG")); }

  TempDir dir;
  QtHost host;
  RunState run{host, dir.File("Loader.LOG")};
  ModalAnswerer answerer;
  std::string com1_;
  int master_ = -1;
  bool stayed = false;
};

TEST_F(CommsDialogTest, ShowsItsButtonsTheDevicesTheNamesReachAndAnUnlistedRateAs9600) {
  run.settings.baudRate = 14400;
  CommsDialog dialog(run);
  EXPECT_EQ(RunDialog(dialog, nullptr), 0);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Communications Parameters"));
  EXPECT_EQ(dialog.size(), dialog.Units().Size(184, 117));
  EXPECT_GE(dialog.Units().BaseX(), DialogUnits(dialog.font()).BaseX());
  const char* ports[] = {"COM1", "COM2", "COM3", "COM4"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Radio(dialog, QStringLiteral("radio%1").arg(1021 + i).toLatin1())->text(),
              QString::fromLatin1(ports[i]));
  }
  const char* rates[] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
  for (int i = 0; i < 8; ++i) {
    QAbstractButton* rate = Radio(dialog, QStringLiteral("radio%1").arg(1001 + i).toLatin1());
    EXPECT_EQ(rate->text(), QString::fromLatin1(rates[i]));
    EXPECT_EQ(rate->isChecked(), i == 3) << rates[i];
    EXPECT_LE(TextWidthNeeded(*rate), rate->width());
  }
  EXPECT_TRUE(Radio(dialog, "radio1021")->isChecked());
  EXPECT_EQ(Radio(dialog, "button1")->text(), QStringLiteral("OK"));
  EXPECT_EQ(Radio(dialog, "button2")->text(), QStringLiteral("Cancel"));
  QString com1 = QString::fromStdString(com1_).mid(5);  // without "/dev/"
  EXPECT_EQ(Device(dialog, 1021), com1 + QStringLiteral(": found"));
  EXPECT_TRUE(Device(dialog, 1022).endsWith(QStringLiteral("ttyUSB9: missing")))
      << Device(dialog, 1022).toStdString();
  EXPECT_EQ(run.settings.baudRate, 14400);
  EXPECT_NE(LogText().find("... DoComms()\n"), std::string::npos);
}

TEST_F(CommsDialogTest, OkWithAPortThatWillNotOpenKeepsTheDialogAndCancelKeepsTheNewName) {
  CommsDialog dialog(run);
  EXPECT_EQ(RunDialog(dialog,
                      [&] {
                        Radio(dialog, "radio1022")->click();
                        Radio(dialog, "radio1002")->click();
                        Radio(dialog, "button1")->click();
                      }),
            0);
  EXPECT_TRUE(stayed);
  ASSERT_EQ(answerer.boxes.size(), 1u);
  EXPECT_EQ(answerer.boxes[0].text, QStringLiteral("Did not open COM2."));
  EXPECT_EQ(answerer.boxes[0].caption, QStringLiteral("Error"));
  EXPECT_EQ(answerer.boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(answerer.boxes[0].owner, &dialog);
  EXPECT_EQ(run.settings.portName, "COM2");
  EXPECT_EQ(run.settings.baudRate, 2400);
  EXPECT_NE(LogText().find("Did not open COM2.\nAnswer: OK\nCOM2 (" + dir.File("ttyUSB9") +
                           "): no such device"),
            std::string::npos)
      << LogText();
}

TEST_F(CommsDialogTest, OkWithAPortThatOpensEndsWithOneAndTheRateInForce) {
  CommsDialog dialog(run);
  EXPECT_EQ(RunDialog(dialog,
                      [&] {
                        Radio(dialog, "radio1007")->click();
                        Radio(dialog, "button1")->click();
                      }),
            1);
  EXPECT_FALSE(stayed);
  EXPECT_TRUE(answerer.boxes.empty());
  EXPECT_EQ(run.settings.portName, "COM1");
  EXPECT_EQ(run.settings.baudRate, 57600);
  EXPECT_FALSE(run.link.open);
}

TEST_F(CommsDialogTest, ARateLoweredByATransferShowsWhenTheDialogOpensAgain) {
  run.settings.baudRate = 115200;
  {
    CommsDialog first(run);
    RunDialog(first, [&] { EXPECT_TRUE(Radio(first, "radio1008")->isChecked()); });
  }
  // The transfer set-up fell back to a lower speed and stored it.
  run.settings.baudRate = 19200;
  CommsDialog again(run);
  bool lowered = false;
  RunDialog(again, [&] { lowered = Radio(again, "radio1005")->isChecked(); });
  EXPECT_TRUE(lowered);
}

}  // namespace
}  // namespace rv4410::test
