#pragma once
// The communications dialog's window, "Communications Parameters", 184 by 117
// dialog units: the four port names, each with the device it reaches and that
// device's state, the eight rates, "OK" and "Cancel". The logic lives in
// wizard/comms_page. Controls are named after their ids ("radio1021",
// "device1021", "radio1004", "button1").

#include <QDialog>
#include <map>

#include "protocol/run_state.h"
#include "wizard/comms_page.h"
#include "wizard/qt/dialog_units.h"

class QButtonGroup;
class QLabel;
class QRadioButton;

namespace rv4410 {

class CommsDialog : public QDialog, public CommsPage {
  Q_OBJECT

 public:
  CommsDialog(RunState& run, QWidget* parent = nullptr);

  int Run() override;
  void EndPage(int result) override;
  void SetApplicationIcon() override;
  void CheckButton(int button) override;
  bool IsButtonChecked(int button) const override;
  void ShowPortState(int button, const PortDiagnosis& diagnosis) override;
  WindowRef Window() const override { return static_cast<const QWidget*>(this); }

  // The dialog units the dialog is laid out in.
  const DialogUnits& Units() const { return units_; }

 protected:
  // Escape and the window's close box.
  void reject() override;

 private:
  void Command(int command);

  RunState& run_;
  DialogUnits units_{font()};
  std::map<int, QRadioButton*> radios_;
  std::map<int, QLabel*> deviceLabels_;
  bool ended_ = false;
  int result_ = 0;
};

// Logs "... DoComms()" and runs the dialog owned by `owner`; 1 when a port
// was confirmed that opens, 0 on "Cancel" or a close request.
int DoComms(RunState& run, QWidget* owner);

}  // namespace rv4410
