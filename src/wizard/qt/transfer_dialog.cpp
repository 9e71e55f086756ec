#include "wizard/qt/transfer_dialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "wizard/qt/app_icon.h"
#include "wizard/qt/log_window_widget.h"
#include "wizard/qt/page_frame.h"

namespace rv4410 {

namespace {

// The page's size and its controls' sizes in dialog units.
constexpr int kPageWidth = 322;
constexpr int kPageHeight = 241;
constexpr int kLogSide = 160;
constexpr int kFieldHeight = 12;
constexpr int kProgressHeight = 10;

QLineEdit* MakeStatusField(const char* name, const DialogUnits& units, QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QString::fromLatin1(name));
  field->setReadOnly(true);
  field->setAlignment(Qt::AlignCenter);
  field->setFocusPolicy(Qt::NoFocus);
  field->setMinimumHeight(units.Y(kFieldHeight));
  return field;
}

Qt::CursorShape QtCursor(CursorShape shape) {
  switch (shape) {
    case CursorShape::kWait:
      return Qt::WaitCursor;
    case CursorShape::kAppStarting:
      return Qt::BusyCursor;
    case CursorShape::kArrow:
      break;
  }
  return Qt::ArrowCursor;
}

}  // namespace

TransferDialog::TransferDialog(LoaderState& state, QWidget* parent)
    : QDialog(parent), state_(state) {
  setWindowTitle(QString::fromLatin1(kTransferCaption));
  setModal(true);
  DialogUnits units(font());

  log_ = new LogWindowWidget(this);
  log_->setObjectName(QStringLiteral("logWindow"));
  log_->setMinimumSize(units.Size(kLogSide, kLogSide));
  log_->setFocusPolicy(Qt::NoFocus);
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progressBar"));
  progress_->setTextVisible(false);
  progress_->setMinimumHeight(units.Y(kProgressHeight));
  status1032_ = MakeStatusField("status1032", units, this);
  status1033_ = MakeStatusField("status1033", units, this);

  auto* right = new QVBoxLayout;
  right->addWidget(log_, 1);
  right->addWidget(progress_);
  right->addWidget(status1032_);
  right->addWidget(status1033_);

  back_ = MakePageButton(kTransferBackText, "backButton", units, this);
  exit_ = MakePageButton(kTransferExitText, "exitButton", units, this);
  connect(back_, &QPushButton::clicked, this, [this] { Command(TransferCommand::kBack); });
  connect(exit_, &QPushButton::clicked, this, [this] { Command(TransferCommand::kExit); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(back_);
  buttons->addWidget(exit_);

  LayOutPage(*this, units, PictureKind::kTransfer, kLogSide / 2, right, kLogSide, buttons,
             {kPageWidth, kPageHeight});

  startTimer_.setSingleShot(true);
  connect(&startTimer_, &QTimer::timeout, this, [this] {
    if (!ended_ && !state_.run.CancelRequested) TransferPageTimer(state_, *this);
  });
}

int TransferDialog::Run() {
  ended_ = false;
  result_ = 0;
  TransferPageOpen(state_, *this);
  // The page may end while opening (no port): then it is never shown.
  if (!ended_) exec();
  return result_;
}

void TransferDialog::EndPage(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  startTimer_.stop();
  // Leaves exec() once control returns to the dialog's own event loop, also
  // when this runs inside a wait of the start timer's handler.
  done(result);
}

void TransferDialog::SetStatusText(int field, std::string_view text) {
  QLineEdit* target = field == kStatusField1032 ? status1032_ : status1033_;
  target->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void TransferDialog::StartTimer(std::int64_t ms) {
  startTimer_.start(static_cast<int>(ms));
}

void TransferDialog::StopTimer() {
  startTimer_.stop();
}

void TransferDialog::SetApplicationIcon() {
  setWindowIcon(AppIcon());
}

void TransferDialog::SetProgressRange(int minimum, int maximum, int /*step*/) {
  // QProgressBar moves only to positions it is given: its step is always 1.
  progress_->setRange(minimum, maximum);
  progress_->setEnabled(true);
}

void TransferDialog::SetProgress(int position) {
  progress_->setValue(position);
}

void TransferDialog::StopProgress() {
  // Greyed, the bar no longer looks as if the work went on.
  progress_->setEnabled(false);
}

void TransferDialog::EnableExit(bool enabled) {
  exit_->setEnabled(enabled);
}

void TransferDialog::ShowCursor(CursorShape shape) {
  setCursor(QtCursor(shape));
}

LogWindow& TransferDialog::LogControl() {
  return *log_;
}

bool TransferDialog::event(QEvent* event) {
  // The cursor request: whenever the pointer comes over the page, the cursor
  // follows the two flags.
  if (event->type() == QEvent::Enter) ShowCursor(TransferPageCursor(state_));
  return QDialog::event(event);
}

void TransferDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // Enter is the default command and ends the program; a stray one must not
    // abandon an operation halfway. "< &Back" and the close box still end it.
    if (!ended_ && !state_.OperationRunning) Command(TransferCommand::kNext);
    return;
  }
  if (event->key() == Qt::Key_Escape) {
    // Escape is the "Exit" button's key; a disabled button takes no command.
    if (!ended_ && exit_->isEnabled()) Command(TransferCommand::kExit);
    return;
  }
  QDialog::keyPressEvent(event);
}

void TransferDialog::closeEvent(QCloseEvent* event) {
  if (!ended_) Command(TransferCommand::kClose);
  event->accept();
}

void TransferDialog::reject() {
  if (!ended_) Command(TransferCommand::kClose);
}

void TransferDialog::Command(TransferCommand command) {
  TransferPageCommand(state_, *this, command);
}

}  // namespace rv4410
