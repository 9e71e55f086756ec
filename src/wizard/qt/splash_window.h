#pragma once
// The splash: a captioned window without a system menu, the splash picture
// above two centred lines naming the program and its notice. It ends after two
// seconds, on a mouse-button release, on Enter or on Escape; a close request
// on it posts a quit request to the whole program.

#include <QDialog>
#include <QTimer>
#include <optional>

#include "wizard/splash_texts.h"

class QLabel;

namespace rv4410 {

class ActivityLog;

class SplashWindow : public QDialog {
  Q_OBJECT

 public:
  // Fills the window from `version`, or keeps the template's texts without one.
  explicit SplashWindow(const std::optional<VersionInfo>& version, QWidget* parent = nullptr);

  // Shows the splash modally until it ends. The two seconds run from the moment it is shown.
  void Run();

 protected:
  void showEvent(QShowEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // The window system's close request: a quit request for the whole program.
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void End();

  QTimer timer_;
  bool ended_ = false;
};

// Logs "... DoSplash()" and shows the splash until it ends.
void DoSplash(ActivityLog& log, const std::optional<VersionInfo>& version);

// Posts a quit request to the whole program; the page loop sees it through a
// QuitWatch and ends, and the modal window open when it arrives ends too.
void PostQuitRequest();

}  // namespace rv4410
