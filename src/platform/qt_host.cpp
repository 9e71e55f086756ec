#include "platform/qt_host.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QWidget>

#include "platform/qt_port_names.h"

namespace rv4410 {

namespace {

// Walking the system's serial devices takes tens of milliseconds; the four
// names of one dialog share one walk.
constexpr std::int64_t kFoundPortsLifetimeMs = 1000;

// Qt sizes a box by its text and reckons its title bar in a small font; a
// window manager's title is often larger and bold, beside an icon and three
// buttons, and a long caption gets cut ("Parameter Name Not Found ..." with
// a short line as its text). An empty item as wide as the whole title bar,
// under the buttons, keeps the box at least that wide.
constexpr int kTitleBarChromeLines = 7;  // the window's icon and buttons, in line heights

void KeepCaptionWhole(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) return;
  QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
  titleFont.setBold(true);
  QFontMetrics metrics(titleFont);
  QMargins margins = grid->contentsMargins();
  int width = metrics.horizontalAdvance(box.windowTitle()) +
              kTitleBarChromeLines * metrics.height() - margins.left() - margins.right();
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Fixed),
                grid->rowCount() - 1, 0, 1, grid->columnCount());
}

QMessageBox::Icon QtIcon(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::kError:
      return QMessageBox::Critical;
    case BoxIcon::kWarning:
      return QMessageBox::Warning;
    case BoxIcon::kInformation:
      return QMessageBox::Information;
    case BoxIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons QtButtons(BoxButtons buttons) {
  switch (buttons) {
    case BoxButtons::kYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case BoxButtons::kOkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case BoxButtons::kYesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case BoxButtons::kOk:
      break;
  }
  return QMessageBox::Ok;
}

// A modal box over `owner` (or over everything without one); the button pressed.
BoxAnswer RunBox(const MessageBoxRequest& request, QWidget* owner) {
  QMessageBox box(QtIcon(request.icon), QString::fromStdString(request.caption),
                  QString::fromStdString(request.text), QtButtons(request.buttons), owner);
  KeepCaptionWhole(box);
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

constexpr const char* kNoSuchFolderFormat =
    "%1\nThis folder does not exist.\nCheck the name and try again.";
constexpr const char* kNewFileQuestionFormat =
    "%1\nThis file does not exist yet.\nUse this name for a new file?";

// The file-open dialog as the loader's pages ask for it: a name that does not
// exist yet is taken only once the user confirms it as a new file (the dialog
// creates nothing), and a name in a folder that does not exist is refused
// with a word; the dialog stays open meanwhile.
class DataFileDialog : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    QStringList files = selectedFiles();
    if (files.isEmpty()) return QFileDialog::accept();
    QFileInfo chosen(files.first());
    if (chosen.exists()) return QFileDialog::accept();
    QString name = QDir::toNativeSeparators(chosen.absoluteFilePath());
    if (!chosen.absoluteDir().exists()) {
      Say(QString::fromLatin1(kNoSuchFolderFormat).arg(name), BoxButtons::kOk);
      return;
    }
    if (Say(QString::fromLatin1(kNewFileQuestionFormat).arg(name), BoxButtons::kYesNo) ==
        BoxAnswer::kYes) {
      QFileDialog::accept();
    }
  }

 private:
  BoxAnswer Say(const QString& text, BoxButtons buttons) {
    return RunBox(
        {text.toStdString(), windowTitle().toStdString(), BoxIcon::kWarning, buttons, nullptr},
        this);
  }
};

// The Windows search's "*.*" takes every name; Qt's pattern wants a dot. The
// filter's text stays as given; behind it the list shows every name.
constexpr const char* kEveryNamePattern = "*.*";

void ShowEveryNameBehindAllFiles(QFileDialog& dialog, const std::vector<FileFilter>& filters) {
  auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
  auto* model = dialog.findChild<QFileSystemModel*>();
  if (types == nullptr || model == nullptr) return;
  // Queued: after the dialog has applied the filter's own patterns.
  QObject::connect(
      types, &QComboBox::currentIndexChanged, &dialog,
      [model, filters](int index) {
        if (index < 0 || static_cast<std::size_t>(index) >= filters.size()) return;
        if (filters[index].pattern == kEveryNamePattern) model->setNameFilters({"*"});
      },
      Qt::QueuedConnection);
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
  return RunBox(request, static_cast<QWidget*>(const_cast<void*>(request.owner)));
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
  // Qt's own dialog on every desktop: a platform's dialog would neither ask
  // about a new name nor keep the filters' texts.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  QStringList filters;
  for (const FileFilter& filter : request.filters) filters << QString::fromStdString(filter.text);
  dialog.setNameFilters(filters);
  ShowEveryNameBehindAllFiles(dialog, request.filters);
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
