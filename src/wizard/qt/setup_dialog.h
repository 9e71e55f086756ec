#pragma once
// The setup page's window, "Setup", 325 by 239 dialog units: the picture, the
// four functions with their file fields and "Find ..." buttons, "Advanced
// Communications ", a disabled "< &Back", "&Next >" and "Cancel". Enter in any
// field or on any button is "&Next >". The logic lives in wizard/setup_page.
// Every control is named after its id ("radio1005", "edit1009", "button1010").

#include <QDialog>
#include <map>

#include "datafiles/loaded_image.h"
#include "protocol/run_state.h"
#include "wizard/qt/dialog_units.h"
#include "wizard/setup_page.h"

class QAbstractButton;
class QLineEdit;
class QRadioButton;

namespace rv4410 {

class SetupDialog : public QDialog, public SetupPage {
  Q_OBJECT

 public:
  SetupDialog(RunState& run, DataFiles& files, QWidget* parent = nullptr);

  int Run() override;
  void EndPage(int result) override;
  void PostCommand(int command) override;
  void SetApplicationIcon() override;
  std::string FieldText(int field) const override;
  void SetFieldText(int field, const std::string& text) override;
  void CheckRadioButton(int button) override;
  bool IsRadioChecked(int button) const override;
  void EnableControl(int control, bool enabled) override;
  void OpenComms() override;
  WindowRef Window() const override { return static_cast<const QWidget*>(this); }

  // The dialog units the page is laid out in.
  const DialogUnits& Units() const { return units_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Escape and the window's close box.
  void reject() override;

 private:
  void BuildControls();
  // Keeps `widget`'s place for LayOut.
  void Place(QWidget* widget, const DialogPlace& place);
  // Every control at its place, in units fitted to the texts.
  void LayOut();
  QLineEdit* AddField(int id, const DialogPlace& place);
  QAbstractButton* AddButton(QAbstractButton* button, int id, const DialogPlace& place);
  void Command(int command);

  RunState& run_;
  DataFiles& files_;
  DialogUnits units_{font()};
  DialogLayout layout_;
  std::map<int, QWidget*> controls_;
  std::map<int, QLineEdit*> fields_;
  std::map<int, QRadioButton*> radios_;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace rv4410
