#include "wizard/qt/waiting_dialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "wizard/qt/app_icon.h"
#include "wizard/qt/page_frame.h"

namespace rv4410 {

namespace {

// The page's size and its text's width in dialog units.
constexpr int kPageWidth = 322;
constexpr int kPageHeight = 241;
constexpr int kTextWidth = 160;

}  // namespace

WaitingDialog::WaitingDialog(RunState& run, MapRequirement map, QWidget* parent)
    : QDialog(parent), run_(run), map_(map) {
  setWindowTitle(QString::fromLatin1(kWaitingCaption));
  setModal(true);

  DialogUnits units(font());

  auto* text = new QLabel(QString::fromLatin1(kWaitingText), this);
  text->setObjectName(QStringLiteral("waitingText"));
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  hint_ = new QLabel(QString::fromLatin1(kWaitingHintText), this);
  hint_->setObjectName(QStringLiteral("hintText"));
  hint_->hide();

  back_ = MakePageButton(kWaitingBackText, "backButton", units, this);
  next_ = MakePageButton(kWaitingNextText, "nextButton", units, this);
  next_->hide();
  cancel_ = MakePageButton(kWaitingCancelText, "cancelButton", units, this);
  connect(back_, &QPushButton::clicked, this, [this] { Command(WaitingCommand::kBack); });
  connect(next_, &QPushButton::clicked, this, [this] { Command(WaitingCommand::kNext); });
  connect(cancel_, &QPushButton::clicked, this, [this] { Command(WaitingCommand::kCancel); });

  auto* right = new QVBoxLayout;
  right->addWidget(text);
  right->addStretch();
  right->addWidget(hint_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(back_);
  buttons->addWidget(next_);
  buttons->addSpacing(units.X(kPageMargin));
  buttons->addWidget(cancel_);

  LayOutPage(*this, units, PictureKind::kWaiting, kPageHeight / 3, right, kTextWidth, buttons,
             {kPageWidth, kPageHeight});

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
