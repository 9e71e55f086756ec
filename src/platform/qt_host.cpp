#include "platform/qt_host.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

namespace rv4410 {

namespace {

// How often PumpMessages lets user events run when called in a tight loop.
constexpr std::int64_t kPumpIntervalNs = 1'000'000;

}  // namespace

// Sees every quit request that reaches the application object.
class QtHost::QuitWatcher : public QObject {
 public:
  explicit QuitWatcher(QtHost& host) : host_(host) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Quit) {
      host_.quitRequested_ = true;
      if (host_.inWait_) host_.quitPending_ = true;
    }
    return QObject::eventFilter(watched, event);
  }

  // An event loop other than a wait of the logic is about to sleep: one that
  // did not hear the quit request a wait took from it. Hand it on.
  void OnAboutToBlock() {
    if (host_.inWait_ || !host_.quitPending_) return;
    host_.quitPending_ = false;
    QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
  }

 private:
  QtHost& host_;
};

QtHost::QtHost() : quitWatcher_(std::make_unique<QuitWatcher>(*this)) {
  clock_.start();
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return;
  application->installEventFilter(quitWatcher_.get());
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, quitWatcher_.get(),
                     [watcher = quitWatcher_.get()] { watcher->OnAboutToBlock(); });
  }
}

QtHost::~QtHost() {
  if (QCoreApplication* application = QCoreApplication::instance()) {
    application->removeEventFilter(quitWatcher_.get());
  }
}

void QtHost::RunEvents(QEventLoop::ProcessEventsFlags flags) {
  // The waits of the logic run inside page handlers. A quit request handled
  // here ends the event loops running now, but Qt forgets it afterwards: an
  // event loop started later would never end. It is posted again once an
  // event loop outside the waits is about to sleep.
  bool outer = !inWait_;
  inWait_ = true;
  QCoreApplication::processEvents(flags);
  if (outer) inWait_ = false;
}

std::int64_t QtHost::TickCount() {
  return clock_.elapsed();
}

void QtHost::PumpMessages() {
  // The serial link pumps once per byte it moves. A turn of the event loop
  // costs system calls, which would hold the line far below its speed; the
  // window answers at once if user events run every millisecond or so.
  std::int64_t now = clock_.nsecsElapsed();
  if (now - lastPumpNs_ < kPumpIntervalNs) return;
  lastPumpNs_ = now;
  RunEvents(QEventLoop::AllEvents);
}

void QtHost::WaitForEvent(std::int64_t deadline) {
  std::int64_t remaining = deadline - TickCount();
  if (remaining <= 0) {
    PumpMessages();
    return;
  }
  // A precise timer: Qt's default coarse timers may fire up to 5% early,
  // which would cut a 5000 ms reply wait short by 250 ms.
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  wake.start(static_cast<int>(std::min<std::int64_t>(remaining, 24 * 3600 * 1000)));
  // Sleeps until an event arrives: serial input (the port's read notifier),
  // a user action, or the timer; then runs what is pending.
  RunEvents(QEventLoop::WaitForMoreEvents);
  lastPumpNs_ = clock_.nsecsElapsed();
  ++wakeups_;
}

BoxAnswer QtHost::ShowMessageBox(const MessageBoxRequest& request) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  switch (request.icon) {
    case BoxIcon::kError:
      icon = QMessageBox::Critical;
      break;
    case BoxIcon::kWarning:
      icon = QMessageBox::Warning;
      break;
    case BoxIcon::kInformation:
      icon = QMessageBox::Information;
      break;
    case BoxIcon::kNone:
      break;
  }
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  if (request.buttons == BoxButtons::kYesNo) buttons = QMessageBox::Yes | QMessageBox::No;
  if (request.buttons == BoxButtons::kOkCancel) buttons = QMessageBox::Ok | QMessageBox::Cancel;

  auto* owner = static_cast<QWidget*>(const_cast<void*>(request.owner));
  QMessageBox box(icon, QString::fromStdString(request.caption),
                  QString::fromStdString(request.text), buttons, owner);
  // Task-modal: the whole program waits for the answer.
  box.setWindowModality(Qt::ApplicationModal);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return BoxAnswer::kYes;
    case QMessageBox::No:
      return BoxAnswer::kNo;
    case QMessageBox::Cancel:
      return BoxAnswer::kCancel;
    default:
      break;
  }
  if (request.buttons == BoxButtons::kYesNo) return BoxAnswer::kNo;  // closed with Escape
  if (request.buttons == BoxButtons::kOkCancel && box.clickedButton() == nullptr) {
    return BoxAnswer::kCancel;
  }
  return BoxAnswer::kOk;
}

void QtHost::Beep() {
  QApplication::beep();
}

void QtHost::SetCursor(CursorShape shape) {
  if (cursorOverridden_) QApplication::restoreOverrideCursor();
  cursorOverridden_ = false;
  if (shape == CursorShape::kArrow) return;
  QApplication::setOverrideCursor(shape == CursorShape::kWait ? Qt::WaitCursor : Qt::BusyCursor);
  cursorOverridden_ = true;
}

std::time_t QtHost::WallClock() {
  return std::time(nullptr);
}

}  // namespace rv4410
