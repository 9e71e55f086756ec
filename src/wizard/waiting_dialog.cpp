#include "wizard/waiting_dialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "wizard/app_icon.h"

namespace rv4410 {

namespace {

QPushButton* MakeButton(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  // Enter is the page's default command, whichever button has the focus.
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

}  // namespace

WaitingDialog::WaitingDialog(RunState& run, MapRequirement map, QWidget* parent)
    : QDialog(parent), run_(run), map_(map) {
  setWindowTitle(QString::fromLatin1(kWaitingCaption));
  setModal(true);

  auto* text = new QLabel(QString::fromLatin1(kWaitingText), this);
  text->setObjectName(QStringLiteral("waitingText"));
  hint_ = new QLabel(QString::fromLatin1(kWaitingHintText), this);
  hint_->setObjectName(QStringLiteral("hintText"));
  hint_->hide();

  back_ = MakeButton(kWaitingBackText, "backButton", this);
  next_ = MakeButton(kWaitingNextText, "nextButton", this);
  next_->hide();
  cancel_ = MakeButton(kWaitingCancelText, "cancelButton", this);
  connect(back_, &QPushButton::clicked, this, [this] { Command(WaitingCommand::kBack); });
  connect(next_, &QPushButton::clicked, this, [this] { Command(WaitingCommand::kNext); });
  connect(cancel_, &QPushButton::clicked, this, [this] { Command(WaitingCommand::kCancel); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(back_);
  buttons->addWidget(next_);
  buttons->addSpacing(12);
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addStretch();
  layout->addWidget(hint_);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  startTimer_.setSingleShot(true);
  connect(&startTimer_, &QTimer::timeout, this, [this] {
    if (!ended_ && !run_.CancelRequested) WaitingPageTimer(run_, *this);
  });
}

int WaitingDialog::Run() {
  ended_ = false;
  result_ = 0;
  WaitingPageOpen(run_, *this);
  // The page may end while opening (no port): then it is never shown.
  if (!ended_) exec();
  return result_;
}

void WaitingDialog::EndPage(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  startTimer_.stop();
  // Leaves exec() once control returns to the dialog's own event loop, also
  // when this runs inside a wait of the start timer's handler.
  done(result);
}

void WaitingDialog::StartTimer(std::int64_t ms) {
  startTimer_.start(static_cast<int>(ms));
}

void WaitingDialog::StopTimer() {
  startTimer_.stop();
}

void WaitingDialog::PostDefaultCommand() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!ended_) Command(WaitingCommand::kNext);
      },
      Qt::QueuedConnection);
}

void WaitingDialog::DisableNext() {
  next_->setEnabled(false);
  hint_->setEnabled(false);
}

void WaitingDialog::SetApplicationIcon() {
  setWindowIcon(AppIcon());
}

void WaitingDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (!ended_) Command(WaitingCommand::kNext);
    return;
  }
  QDialog::keyPressEvent(event);
}

void WaitingDialog::reject() {
  if (!ended_) Command(WaitingCommand::kClose);
}

void WaitingDialog::Command(WaitingCommand command) {
  WaitingPageCommand(run_, *this, command, map_);
}

}  // namespace rv4410
