// The setup page's window, offscreen, under the real Qt host: its controls at
// their dialog-unit places, the enabling rules, the "&Next >" checks through
// real message boxes, Enter as "&Next >", the file-open dialog and the
// communications dialog. COM1 reaches a pseudo-terminal.

#include "wizard/qt/setup_dialog.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSerialPort>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "gui/modal_answerer.h"
#include "platform/format.h"
#include "platform/qt_host.h"
#include "protocol/page_results.h"
#include "support/image_builders.h"
#include "support/temp_dir.h"
#include "wizard/qt/comms_dialog.h"
#include "wizard/qt/dialog_units.h"

namespace rv4410::test {
namespace {

// A pseudo-terminal for COM1: nobody holds its far end, so the port opens.
class Com1Terminal {
 public:
  Com1Terminal() {
    int slave = -1;
    char name[128] = {};
    if (openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
    close(slave);
    path_ = name;
    setenv("RV4410_COM1", name, 1);
  }
  ~Com1Terminal() {
    unsetenv("RV4410_COM1");
    if (master_ >= 0) close(master_);
  }
  const std::string& Path() const { return path_; }

 private:
  int master_ = -1;
  std::string path_;
};

class SetupDialogTest : public ::testing::Test {
 protected:
  SetupDialogTest() {
    run.log.LogOpen();
    run.settings.programFile = dir.File("RV4410.hex");
    run.settings.mapFile = dir.File("maps.bin");
    run.settings.configFile = dir.File("RV4410_Param_1.dat");
  }

  // Runs the page with `function` remembered; `action` runs once it is shown.
  int RunPage(LoaderFunction function, std::function<void()> action) {
    run.settings.function = function;
    QTimer::singleShot(50, &dialog, [this, action] {
      if (action) action();
      // Whatever the action left open, the page ends here.
      QTimer::singleShot(0, &dialog, [this] { stayed = dialog.isVisible(); });
      QTimer::singleShot(20, &dialog, [this] {
        if (dialog.isVisible()) Button(kSetupCancelButton)->click();
      });
    });
    return dialog.Run();
  }
  QAbstractButton* Button(int id) {
    auto* button = dialog.findChild<QAbstractButton*>(QStringLiteral("button%1").arg(id));
    return button != nullptr
               ? button
               : dialog.findChild<QAbstractButton*>(QStringLiteral("radio%1").arg(id));
  }
  QLineEdit* Field(int id) {
    return dialog.findChild<QLineEdit*>(QStringLiteral("edit%1").arg(id));
  }
  std::string LogText() const { return ReadFile(dir.File("Loader.LOG")); }
  void WriteProgram() { WriteFile(run.settings.programFile, HexText(BuildProgramImage({}))); }

  TempDir dir;
  Com1Terminal com1;
  QtHost host;
  RunState run{host, dir.File("Loader.LOG")};
  DataFiles files;
  SetupDialog dialog{run, files};
  ModalAnswerer answerer;
  bool stayed = false;
};

TEST_F(SetupDialogTest, EveryControlStandsAtItsDialogUnitPlaceWithItsText) {
  struct Control {
    const char* name;
    const char* text;
    int x, y, width, height;
  } controls[] = {
      {"picture", nullptr, 7, 7, 143, 198},
      {"functionGroup", "Select Loader Function", 156, 7, 162, 190},
      {"radio1005", "Write new Program to Unit", 161, 20, 99, 10},
      {"edit1009", nullptr, 171, 35, 116, 14},
      {"button1010", "Find ...", 293, 36, 25, 14},
      {"configLabel", "Select configuration file", 160, 55, 74, 8},
      {"edit1011", nullptr, 171, 68, 116, 14},
      {"button1012", "Find ...", 293, 68, 25, 14},
      {"radio1006", "Read Configuration from Unit", 161, 89, 107, 10},
      {"radio1007", "Write Configuration to Unit", 161, 103, 99, 10},
      {"line1", nullptr, 165, 116, 141, 1},
      {"radio1008", "Write new Map database to Unit", 161, 124, 118, 10},
      {"edit1015", nullptr, 171, 140, 116, 14},
      {"button1014", "Find ...", 293, 140, 25, 14},
      {"line2", nullptr, 7, 210, 310, 1},
      {"button1013", "Advanced Communications ", 24, 218, 101, 14},
      {"button1000", "< &Back", 160, 218, 50, 14},
      {"button1001", "&Next >", 210, 218, 50, 14},
      {"button2", "Cancel", 268, 218, 50, 14},
  };
  // The font's units, widened where a text needs it: the proportions hold.
  const DialogUnits& units = dialog.Units();
  EXPECT_GE(units.BaseX(), DialogUnits(dialog.font()).BaseX());
  EXPECT_EQ(units.BaseY(), DialogUnits(dialog.font()).BaseY());
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Setup"));
  EXPECT_EQ(dialog.size(), units.Size(325, 239));
  for (const Control& control : controls) {
    SCOPED_TRACE(control.name);
    auto* widget = dialog.findChild<QWidget*>(QString::fromLatin1(control.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->geometry(), units.Rect(control.x, control.y, control.width, control.height));
    EXPECT_LE(TextWidthNeeded(*widget), widget->width());
    if (control.text == nullptr) continue;
    QString text;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) text = group->title();
    EXPECT_EQ(text, QString::fromLatin1(control.text));
  }
  EXPECT_TRUE(static_cast<QPushButton*>(Button(kSetupNextButton))->isDefault());
  EXPECT_FALSE(Button(kSetupBackButton)->isEnabled());
}

TEST_F(SetupDialogTest, OpensWithTheRememberedFunctionAndEachClickAppliesTheEnablingRules) {
  struct Rule {
    int radio;
    bool program, config, map;
  } rules[] = {
      {1005, true, true, false},
      {1006, false, true, false},
      {1007, false, true, false},
      {1008, false, false, true},
  };
  auto expectRule = [this](const Rule& rule) {
    SCOPED_TRACE(rule.radio);
    for (int radio : {1005, 1006, 1007, 1008}) {
      EXPECT_EQ(Button(radio)->isChecked(), radio == rule.radio) << radio;
    }
    EXPECT_EQ(Field(1009)->isEnabled(), rule.program);
    EXPECT_EQ(Button(1010)->isEnabled(), rule.program);
    EXPECT_EQ(Field(1011)->isEnabled(), rule.config);
    EXPECT_EQ(Button(1012)->isEnabled(), rule.config);
    EXPECT_EQ(Field(1015)->isEnabled(), rule.map);
    EXPECT_EQ(Button(1014)->isEnabled(), rule.map);
    EXPECT_FALSE(Button(kSetupBackButton)->isEnabled());
  };
  bool iconShown = false;
  EXPECT_EQ(RunPage(kReadConfiguration,
                    [&] {
                      iconShown = !dialog.windowIcon().isNull();
                      expectRule(rules[1]);
                      EXPECT_EQ(Field(1011)->text().toStdString(), run.settings.configFile);
                      EXPECT_EQ(Field(1009)->text().toStdString(), run.settings.programFile);
                      EXPECT_EQ(Field(1015)->text().toStdString(), run.settings.mapFile);
                      for (const Rule& rule : {rules[3], rules[0], rules[2], rules[1]}) {
                        QTest::mouseClick(Button(rule.radio), Qt::LeftButton);
                        expectRule(rule);
                      }
                    }),
            kPageLeave);
  EXPECT_TRUE(iconShown);
  EXPECT_TRUE(answerer.boxes.empty());
}

TEST_F(SetupDialogTest, ABadProgramHeaderGivesTwoBoxesOwnedByThePageAndTheUserStays) {
  WriteFile(run.settings.programFile, HexText(Bytes(16, 0)) + "00");
  EXPECT_EQ(RunPage(kWriteProgram, [&] { Button(kSetupNextButton)->click(); }), kPageLeave);
  EXPECT_TRUE(stayed);
  std::string couldNotOpen = FormatText("Couldn't open '%s'.", run.settings.programFile.c_str());
  ASSERT_EQ(answerer.BoxTexts(), (std::vector<QString>{"Invalid header (says 0 bytes)",
                                                       QString::fromStdString(couldNotOpen)}));
  for (const ModalAnswerer::Box& box : answerer.boxes) {
    EXPECT_EQ(box.caption, QStringLiteral("Error"));
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.owner, &dialog);
    EXPECT_EQ(box.modality, Qt::ApplicationModal);
  }
  EXPECT_NE(LogText().find(couldNotOpen + "\n"), std::string::npos);
}

TEST_F(SetupDialogTest, CancelAtAMapDateWarningKeepsTheUserOnThePage) {
  MapFilePlan plan;
  plan.data = PatternBytes(64, 2);
  plan.expirationDate = 90001;  // 1 January 1990: expired
  WriteFile(run.settings.mapFile, AsString(BuildMapFile(plan)));
  answerer.onBox = [](const QMessageBox& box) {
    return box.windowTitle() == QStringLiteral("Cancel to Quit, OK to Continue")
               ? QMessageBox::Cancel
               : QMessageBox::Ok;
  };
  EXPECT_EQ(RunPage(kWriteMap, [&] { Button(kSetupNextButton)->click(); }), kPageLeave);
  EXPECT_TRUE(stayed);
  ASSERT_EQ(answerer.boxes.size(), 3u);
  EXPECT_EQ(answerer.boxes[0].caption, QStringLiteral("Caution"));
  EXPECT_TRUE(answerer.boxes[1].text.contains(QStringLiteral("ALREADY Expired")));
  EXPECT_EQ(answerer.boxes[2].text.toStdString(),
            FormatText("Couldn't read map file '%s'.", run.settings.mapFile.c_str()));
}

TEST_F(SetupDialogTest, AMapWithNoDataIsRefused) {
  WriteFile(run.settings.mapFile, AsString(BuildMapFile({})));
  EXPECT_EQ(RunPage(kWriteMap, [&] { Button(kSetupNextButton)->click(); }), kPageLeave);
  EXPECT_TRUE(stayed);
  ASSERT_EQ(answerer.boxes.size(), 2u);
  EXPECT_EQ(answerer.boxes[1].text.toStdString(),
            FormatText("Couldn't read map file '%s'.", run.settings.mapFile.c_str()));
}

TEST_F(SetupDialogTest, APortHeldByAnotherProgramFailsAfterTheFilesWereReadAndLogsWhy) {
  WriteProgram();
  WriteFile(run.settings.configFile, "KEEP=1\r\n");
  QSerialPort other(QString::fromStdString(com1.Path()));
  ASSERT_TRUE(other.open(QIODevice::ReadWrite));
  EXPECT_EQ(RunPage(kWriteProgram, [&] { Button(kSetupNextButton)->click(); }), kPageLeave);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(answerer.BoxTexts(), std::vector<QString>{QStringLiteral("Could not open COM1.")});
  EXPECT_EQ(files.loadedImage.length, 1024);
  EXPECT_EQ(ReadFile(run.settings.configFile), "KEEP=1\r\n");
  std::string reason = host.DescribePortProblem("COM1");
  EXPECT_NE(reason.find("in use by process"), std::string::npos) << reason;
  EXPECT_NE(LogText().find("Could not open COM1.\nAnswer: OK\n" + reason + "\n"), std::string::npos)
      << LogText();
}

TEST_F(SetupDialogTest, EnterInAnyFieldActsAsNext) {
  WriteProgram();
  MapFilePlan plan;
  plan.data = PatternBytes(64, 2);
  WriteFile(run.settings.mapFile, AsString(BuildMapFile(plan)));
  struct Case {
    LoaderFunction function;
    int field;
  } cases[] = {{kWriteProgram, 1009}, {kWriteProgram, 1011}, {kWriteMap, 1015}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    SetupDialog page(run, files);
    run.settings.function = c.function;
    QTimer::singleShot(50, &page, [&] {
      auto* field = page.findChild<QLineEdit*>(QStringLiteral("edit%1").arg(c.field));
      field->setFocus();
      QTest::keyClick(field, Qt::Key_Return);
    });
    QTimer::singleShot(3000, &page, [&] { page.close(); });
    EXPECT_EQ(page.Run(), kPageNext);
  }
  EXPECT_FALSE(run.link.open);
}

// Whether the dialog lists `name` in the folder it shows, once the folder has been read.
bool Lists(QFileDialog& chooser, const QString& name) {
  auto* view = chooser.findChild<QListView*>(QStringLiteral("listView"));
  if (view == nullptr) return false;
  QAbstractItemModel* model = view->model();
  for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) {
    if (model->index(row, 0, view->rootIndex()).data().toString() == name) return true;
  }
  return false;
}

TEST_F(SetupDialogTest, FindShowsTheFileDialogAndCancelLeavesTheField) {
  WriteFile(dir.File("RV4410.hex"), "00");
  WriteFile(dir.File("README"), "notes");
  QString title;
  QStringList filters;
  QString selected;
  bool hexOnlyFirst = false, everyNameUnderAllFiles = false;
  answerer.onFileDialog = [&](QFileDialog& chooser) -> std::optional<QString> {
    title = chooser.windowTitle();
    filters = chooser.nameFilters();
    selected = chooser.selectedNameFilter();
    chooser.setDirectory(QString::fromStdString(dir.Path()));
    hexOnlyFirst = QTest::qWaitFor([&] { return Lists(chooser, QStringLiteral("RV4410.hex")); }) &&
                   !Lists(chooser, QStringLiteral("README"));
    // "*.*" takes every name, with a dot or without, as the Windows search does.
    chooser.selectNameFilter(filters.value(1));
    everyNameUnderAllFiles =
        QTest::qWaitFor([&] { return Lists(chooser, QStringLiteral("README")); });
    return std::nullopt;
  };
  EXPECT_EQ(RunPage(kWriteProgram,
                    [&] {
                      Field(1009)->setText(QStringLiteral("typed.hex"));
                      Button(1010)->click();
                    }),
            kPageLeave);
  EXPECT_EQ(answerer.fileDialogs, 1);
  EXPECT_EQ(title, QStringLiteral("Select a data file"));
  EXPECT_EQ(filters,
            QStringList({QStringLiteral("Data Files (*.hex)"), QStringLiteral("All Files (*.*)")}));
  EXPECT_EQ(selected, filters[0]);
  EXPECT_TRUE(hexOnlyFirst);
  EXPECT_TRUE(everyNameUnderAllFiles);
  EXPECT_EQ(Field(1009)->text(), QStringLiteral("typed.hex"));
}

// A folder that does not exist is refused with a word and the dialog stays;
// a new name in an existing folder is taken once the user confirms it, and
// nothing is created.
TEST_F(SetupDialogTest, FindTakesANewNameInAnExistingFolderOnlyOnceConfirmed) {
  QString fresh = QString::fromStdString(dir.File("new.dat"));
  QString nowhere = QString::fromStdString(dir.File("no-such-folder/new.dat"));
  std::vector<QMessageBox::StandardButton> answers{QMessageBox::No, QMessageBox::Yes};
  answerer.onBox = [&](const QMessageBox& box) {
    if (!box.standardButtons().testFlag(QMessageBox::Yes)) return QMessageBox::Ok;
    QMessageBox::StandardButton answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  };
  int looks[3] = {};
  EXPECT_EQ(RunPage(kReadConfiguration,
                    [&] {
                      for (int pass = 0; pass < 3; ++pass) {
                        // Typed into the name field, as a user would, beside the test's files.
                        QString name = pass == 0 ? "no-such-folder/new.dat" : "new.dat";
                        answerer.onFileDialog = [&, name](QFileDialog& chooser) {
                          chooser.setDirectory(QString::fromStdString(dir.Path()));
                          return std::optional<QString>(name);
                        };
                        Button(1012)->click();
                        looks[pass] = answerer.fileDialogs;
                      }
                    }),
            kPageLeave);
  // The missing folder and the new name answered No were refused, and each
  // dialog was cancelled on its next look: the field kept its name until Yes.
  EXPECT_EQ(looks[0], 2);
  EXPECT_EQ(looks[1], 4);
  EXPECT_EQ(looks[2], 5);
  ASSERT_EQ(answerer.boxes.size(), 3u);
  EXPECT_EQ(
      answerer.boxes[0].text.toStdString(),
      (nowhere + "\nThis folder does not exist.\nCheck the name and try again.").toStdString());
  for (int i : {1, 2}) {
    EXPECT_EQ(answerer.boxes[i].text,
              fresh + "\nThis file does not exist yet.\nUse this name for a new file?");
  }
  for (const ModalAnswerer::Box& box : answerer.boxes) {
    EXPECT_EQ(box.caption, QStringLiteral("Select a data file"));
    EXPECT_EQ(box.icon, QMessageBox::Warning);
  }
  EXPECT_EQ(Field(1011)->text(), fresh);
  EXPECT_FALSE(std::filesystem::exists(fresh.toStdString()));
}

// A pick longer than 255 characters stays whole in its field.
TEST_F(SetupDialogTest, FindPutsALongPathIntoTheFieldWhole) {
  std::string folder = dir.File(std::string(150, 'f'));
  std::filesystem::create_directory(folder);
  QString path = QString::fromStdString(folder + "/" + std::string(140, 'n') + ".dat");
  ASSERT_GT(path.size(), 255);
  answerer.onFileDialog = [&](QFileDialog&) -> std::optional<QString> { return path; };
  answerer.onBox = [](const QMessageBox&) { return QMessageBox::Yes; };  // a new file
  EXPECT_EQ(RunPage(kReadConfiguration, [&] { Button(1012)->click(); }), kPageLeave);
  EXPECT_EQ(Field(1011)->text(), path);
}

TEST_F(SetupDialogTest, AdvancedCommunicationsOpensTheDialogOwnedByThePage) {
  QString caption;
  QWidget* owner = nullptr;
  answerer.onDialog = [&](QDialog& comms) {
    if (&comms == &dialog) return false;
    caption = comms.windowTitle();
    owner = comms.parentWidget();
    comms.findChild<QPushButton*>(QStringLiteral("button2"))->click();
    return true;
  };
  EXPECT_EQ(RunPage(kWriteProgram, [&] { Button(kSetupCommsButton)->click(); }), kPageLeave);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(caption, QStringLiteral("Communications Parameters"));
  EXPECT_EQ(owner, &dialog);
  EXPECT_NE(LogText().find("... DoComms()\n"), std::string::npos);
}

}  // namespace
}  // namespace rv4410::test
