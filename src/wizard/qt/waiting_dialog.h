#pragma once
// The waiting page's window: "Waiting...", the page picture on the left, the
// plug-in instruction, "< &Back" and "Cancel", and a hidden "&Next >" with its
// hint. Enter is the page's default command. The logic lives in protocol/waiting_page.

#include <QDialog>
#include <QTimer>

#include "protocol/run_state.h"
#include "protocol/waiting_page.h"

class QLabel;
class QPushButton;

namespace rv4410 {

class WaitingDialog : public QDialog, public WaitingPage {
  Q_OBJECT

 public:
  WaitingDialog(RunState& run, MapRequirement map, QWidget* parent = nullptr);

  int Run() override;
  void EndPage(int result) override;
  void StartTimer(std::int64_t ms) override;
  void StopTimer() override;
  void PostDefaultCommand() override;
  void DisableNext() override;
  void SetApplicationIcon() override;
  WindowRef Window() const override { return static_cast<const QWidget*>(this); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Escape and the window's close box.
  void reject() override;

 private:
  void Command(WaitingCommand command);

  RunState& run_;
  MapRequirement map_;
  QTimer startTimer_;
  QLabel* hint_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace rv4410
