#include "wizard/waiting_dialog.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "wizard/app_icon.h"
#include "wizard/dialog_units.h"
#include "wizard/page_picture.h"

namespace rv4410 {

namespace {

// The page's size and its controls' sizes in dialog units, as the other pages.
constexpr int kPageWidth = 322;
constexpr int kPageHeight = 241;
constexpr int kMargin = 7;
constexpr int kPictureWidth = 143;
constexpr int kTextWidth = 160;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;

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

  DialogUnits units(font());
  auto* picture = new PagePicture(PictureKind::kWaiting, this);
  picture->setObjectName(QStringLiteral("picture"));
  picture->setMinimumSize(units.Size(kPictureWidth / 2, kPageHeight / 3));

  auto* text = new QLabel(QString::fromLatin1(kWaitingText), this);
  text->setObjectName(QStringLiteral("waitingText"));
  text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  hint_ = new QLabel(QString::fromLatin1(kWaitingHintText), this);
  hint_->setObjectName(QStringLiteral("hintText"));
  hint_->hide();

  back_ = MakeButton(kWaitingBackText, "backButton", this);
  next_ = MakeButton(kWaitingNextText, "nextButton", this);
  next_->hide();
  cancel_ = MakeButton(kWaitingCancelText, "cancelButton", this);
  for (QPushButton* button : {back_, next_, cancel_}) {
    button->setMinimumSize(units.Size(kButtonWidth, kButtonHeight));
  }
  connect(back_, &QPushButton::clicked, this, [this] { Command(WaitingCommand::kBack); });
  connect(next_, &QPushButton::clicked, this, [this] { Command(WaitingCommand::kNext); });
  connect(cancel_, &QPushButton::clicked, this, [this] { Command(WaitingCommand::kCancel); });

  auto* right = new QVBoxLayout;
  right->addWidget(text);
  right->addStretch();
  right->addWidget(hint_);

  auto* top = new QHBoxLayout;
  top->setSpacing(units.X(kMargin - 1));
  top->addWidget(picture, kPictureWidth);
  top->addLayout(right, kTextWidth);

  auto* etched = new QFrame(this);
  etched->setObjectName(QStringLiteral("etchedLine"));
  etched->setFrameShape(QFrame::HLine);
  etched->setFrameShadow(QFrame::Sunken);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(back_);
  buttons->addWidget(next_);
  buttons->addSpacing(units.X(kMargin));
  buttons->addWidget(cancel_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(units.X(kMargin), units.Y(kMargin), units.X(kMargin),
                             units.Y(kMargin));
  layout->addLayout(top, 1);
  layout->addWidget(etched);
  layout->addLayout(buttons);
  resize(units.Size(kPageWidth, kPageHeight).expandedTo(minimumSizeHint()));

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
