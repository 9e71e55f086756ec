#pragma once
// The transfer page's window: "Transfer Status", the page picture, the running
// log, the progress bar and two status fields, "< &Back" and "Exit". The
// logic lives in uploads/transfer_driver.

#include <QDialog>
#include <QTimer>

#include "uploads/transfer_driver.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace rv4410 {

class LogWindowWidget;

class TransferDialog : public QDialog, public TransferPageWindow {
  Q_OBJECT

 public:
  explicit TransferDialog(LoaderState& state, QWidget* parent = nullptr);

  int Run() override;
  void EndPage(int result) override;
  void SetStatusText(int field, std::string_view text) override;
  WindowRef Window() const override { return static_cast<const QWidget*>(this); }
  void StartTimer(std::int64_t ms) override;
  void StopTimer() override;
  void SetApplicationIcon() override;
  void SetProgressRange(int minimum, int maximum, int step) override;
  void SetProgress(int position) override;
  void StopProgress() override;
  void EnableExit(bool enabled) override;
  void ShowCursor(CursorShape shape) override;
  LogWindow& LogControl() override;
  bool Ended() const override { return ended_; }

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void Command(TransferCommand command);

  LoaderState& state_;
  QTimer startTimer_;
  LogWindowWidget* log_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLineEdit* status1032_ = nullptr;
  QLineEdit* status1033_ = nullptr;
  QPushButton* back_ = nullptr;
  QPushButton* exit_ = nullptr;
  bool ended_ = false;
  int result_ = 0;
};

}  // namespace rv4410
