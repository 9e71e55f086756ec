#include "platform/qt_host.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>

#include "platform/qt_port_names.h"

namespace rv4410 {

namespace {

// Walking the system's serial devices takes tens of milliseconds; the four
// names of one dialog share one walk.
constexpr std::int64_t kFoundPortsLifetimeMs = 1000;

// The file-open dialog: a name that does not exist yet may be typed, but its
// folder must exist; the dialog stays open until it does.
class DataFileDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    QStringList files = selectedFiles();
    if (!files.isEmpty()) {
      QFileInfo chosen(files.first());
      if (!chosen.isDir() && !chosen.absoluteDir().exists()) return;
    }
    QFileDialog::accept();
  }
};

// A filter as Qt takes it: the text with its patterns in parentheses. The
// Windows search's "*.*" takes every name; elsewhere it wants a dot, so "*" joins it.
QString QtNameFilter(const FileFilter& filter) {
  QString text = QString::fromStdString(filter.text);
#if !defined(Q_OS_WIN)
  if (filter.pattern == "*.*" && text.endsWith(QLatin1String("(*.*)"))) {
    text.insert(text.size() - 1, QLatin1String(" *"));
  }
#endif
  return text;
}

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

QtHost::QtHost()
    : waits_([this](QEventLoop::ProcessEventsFlags flags) { RunEvents(flags); }),
      quitWatcher_(std::make_unique<QuitWatcher>(*this)) {
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
  return waits_.TickCount();
}

void QtHost::PumpMessages() {
  waits_.PumpMessages();
}

void QtHost::WaitForEvent(std::int64_t deadline) {
  waits_.WaitForEvent(deadline);
}

void QtHost::WaitForUserEvent(std::int64_t deadline) {
  // The bytes wait in the system meanwhile; they count as waiting all the
  // same, and the next read fetches them all at once.
  device_.HoldInputWakeups(true);
  waits_.WaitForEvent(deadline);
  device_.HoldInputWakeups(false);
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
  if (request.buttons == BoxButtons::kYesNoCancel) {
    buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  }

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
  if ((request.buttons == BoxButtons::kOkCancel || request.buttons == BoxButtons::kYesNoCancel) &&
      box.clickedButton() == nullptr) {
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

bool QtHost::ChooseFile(const FileChoiceRequest& request, std::string& path) {
  path.clear();
  auto* owner = static_cast<QWidget*>(const_cast<void*>(request.owner));
  DataFileDialog dialog(owner, QString::fromStdString(request.title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The platform's own dialog where there is one; Qt's where there is no
  // desktop (the tests' offscreen platform), so that a test can answer it.
  QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
  }
  QStringList filters;
  for (const FileFilter& filter : request.filters) filters << QtNameFilter(filter);
  dialog.setNameFilters(filters);
  if (!filters.isEmpty()) dialog.selectNameFilter(filters.first());
  dialog.setWindowModality(Qt::ApplicationModal);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  path = QDir::toNativeSeparators(dialog.selectedFiles().first()).toStdString();
  return true;
}

const std::vector<FoundPort>& QtHost::FoundPorts() {
  if (portsFoundAt_ < 0 || TickCount() - portsFoundAt_ > kFoundPortsLifetimeMs) {
    foundPorts_ = FindSerialPorts();
    portsFoundAt_ = TickCount();
  }
  return foundPorts_;
}

PortDiagnosis QtHost::DiagnosePort(const std::string& portName) {
  const std::vector<FoundPort>& found = FoundPorts();
  std::vector<std::string> known;
  for (const FoundPort& port : found) known.push_back(port.path);
  return DiagnoseDevice(ResolvePortName(portName, found), known, DefaultLockDirectories());
}

std::time_t QtHost::WallClock() {
  return std::time(nullptr);
}

}  // namespace rv4410
