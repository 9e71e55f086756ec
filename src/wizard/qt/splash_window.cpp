#include "wizard/qt/splash_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "activity_log/activity_log.h"
#include "wizard/program_version.h"
#include "wizard/qt/app_icon.h"
#include "wizard/qt/dialog_units.h"
#include "wizard/qt/page_picture.h"

namespace rv4410 {

namespace {

constexpr int kMargin = 7;

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* MakeLine(const QString& text, const char* name, QWidget* parent) {
  auto* line = new QLabel(text, parent);
  line->setObjectName(QString::fromLatin1(name));
  line->setAlignment(Qt::AlignCenter);
  line->setWordWrap(true);
  return line;
}

}  // namespace

std::optional<VersionInfo> ProgramVersionInfo() {
  return VersionInfo{kProductName, kProductVersion, kFileDescription, kLegalCopyright};
}

SplashWindow::SplashWindow(const std::optional<VersionInfo>& version, QWidget* parent)
    : QDialog(parent) {
  // A caption but no system menu and no close box; the window manager decides
  // in the end what it draws (Windows keeps exactly this; most X11 and Wayland
  // managers honour it through the Motif hints).
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setModal(true);
  setWindowIcon(AppIcon());

  SplashTexts texts = SplashTextsFor(version);
  setWindowTitle(Latin1(texts.caption));

  DialogUnits units(font());
  auto* picture = new PagePicture(PictureKind::kSplash, this);
  picture->setObjectName(QStringLiteral("picture"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(units.X(kMargin), units.Y(kMargin), units.X(kMargin),
                             units.Y(kMargin));
  layout->addWidget(picture, 1);
  layout->addWidget(MakeLine(Latin1(texts.line1), "line1029", this));
  layout->addWidget(MakeLine(Latin1(texts.line2), "line1030", this));
  // A release anywhere in the window ends it, over the picture and the lines too.
  for (QWidget* child : findChildren<QWidget*>()) {
    child->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  setFixedSize(units.Size(kSplashWidth, kSplashHeight));

  timer_.setSingleShot(true);
  // Two seconds are two seconds: Qt's coarse timers may fire up to 5% early.
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &SplashWindow::End);
}

void SplashWindow::Run() {
  ended_ = false;
  exec();
}

void SplashWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!ended_ && !timer_.isActive()) timer_.start(kSplashMs);
}

void SplashWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
    End();
    return;
  }
  QDialog::mouseReleaseEvent(event);
}

void SplashWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      End();
      return;
    default:
      break;
  }
  QDialog::keyPressEvent(event);
}

void SplashWindow::closeEvent(QCloseEvent* event) {
  // Ending the splash closes it as well; only a close from outside is a quit.
  if (!ended_) {
    PostQuitRequest();
    End();
  }
  event->accept();
}

void SplashWindow::reject() {
  End();
}

void SplashWindow::End() {
  if (ended_) return;
  ended_ = true;
  timer_.stop();
  done(QDialog::Accepted);
}

void DoSplash(ActivityLog& log, const std::optional<VersionInfo>& version) {
  log.LogLine(kDoSplashLogLine);
  SplashWindow splash(version);
  splash.Run();
}

void PostQuitRequest() {
  QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
}

}  // namespace rv4410
