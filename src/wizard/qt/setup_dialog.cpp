#include "wizard/qt/setup_dialog.h"

#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "protocol/page_results.h"
#include "wizard/qt/app_icon.h"
#include "wizard/qt/comms_dialog.h"
#include "wizard/qt/dialog_units.h"
#include "wizard/qt/page_picture.h"

namespace rv4410 {

namespace {

// The page's size and its controls' places, in dialog units.
constexpr int kSetupWidth = 325;
constexpr int kSetupHeight = 239;

// A control with a caption: its id, its text and its place.
struct CaptionedPlace {
  int id;
  const char* text;
  DialogPlace place;
};

constexpr CaptionedPlace kRadios[] = {
    {kWriteProgram, kWriteProgramText, {161, 20, 99, 10}},
    {kReadConfiguration, kReadConfigurationText, {161, 89, 107, 10}},
    {kWriteConfiguration, kWriteConfigurationText, {161, 103, 99, 10}},
    {kWriteMap, kWriteMapText, {161, 124, 118, 10}},
};

struct FieldPlace {
  int id;
  DialogPlace place;
  int findId;
  DialogPlace findPlace;
};

constexpr FieldPlace kFields[] = {
    {kSetupProgramField, {171, 35, 116, 14}, kSetupProgramFind, {293, 36, 25, 14}},
    {kSetupConfigField, {171, 68, 116, 14}, kSetupConfigFind, {293, 68, 25, 14}},
    {kSetupMapField, {171, 140, 116, 14}, kSetupMapFind, {293, 140, 25, 14}},
};

constexpr CaptionedPlace kButtons[] = {
    {kSetupCommsButton, kCommsButtonText, {24, 218, 101, 14}},
    {kSetupBackButton, kSetupBackText, {160, 218, 50, 14}},
    {kSetupNextButton, kSetupNextText, {210, 218, 50, 14}},
    {kSetupCancelButton, kSetupCancelText, {268, 218, 50, 14}},
};

constexpr DialogPlace kPicturePlace{7, 7, 143, 198};
constexpr DialogPlace kGroupPlace{156, 7, 162, 190};
constexpr DialogPlace kConfigLabelPlace{160, 55, 74, 8};
constexpr DialogPlace kUpperLinePlace{165, 116, 141, 1};
constexpr DialogPlace kLowerLinePlace{7, 210, 310, 1};

QString Name(const char* kind, int id) {
  return QString::fromLatin1(kind) + QString::number(id);
}

}  // namespace

SetupDialog::SetupDialog(RunState& run, DataFiles& files, QWidget* parent)
    : QDialog(parent), run_(run), files_(files) {
  setWindowTitle(QString::fromLatin1(kSetupCaption));
  setModal(true);
  BuildControls();
}

void SetupDialog::BuildControls() {
  auto* picture = new PagePicture(PictureKind::kSetup, this);
  picture->setObjectName(QStringLiteral("picture"));
  Place(picture, kPicturePlace);

  // Created before the controls it frames, so that they lie above it.
  auto* group = new QGroupBox(QString::fromLatin1(kSetupFunctionGroupText), this);
  group->setObjectName(QStringLiteral("functionGroup"));
  Place(group, kGroupPlace);

  for (const CaptionedPlace& radio : kRadios) {
    auto* button = new QRadioButton(QString::fromLatin1(radio.text), this);
    radios_[radio.id] = button;
    AddButton(button, radio.id, radio.place);
  }
  for (const FieldPlace& field : kFields) {
    AddField(field.id, field.place);
    AddButton(new QPushButton(QString::fromLatin1(kFindButtonText), this), field.findId,
              field.findPlace);
  }

  auto* label = new QLabel(QString::fromLatin1(kSetupConfigLabelText), this);
  label->setObjectName(QStringLiteral("configLabel"));
  Place(label, kConfigLabelPlace);

  int lineNumber = 0;
  for (const DialogPlace& at : {kUpperLinePlace, kLowerLinePlace}) {
    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("line") + QString::number(++lineNumber));
    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Place(line, at);
  }

  for (const CaptionedPlace& button : kButtons) {
    auto* push = new QPushButton(QString::fromLatin1(button.text), this);
    // Enter is the page's default command, whichever control has the focus.
    push->setAutoDefault(false);
    AddButton(push, button.id, button.place);
  }
  static_cast<QPushButton*>(controls_[kSetupNextButton])->setDefault(true);
  // Nothing on this page goes back.
  controls_[kSetupBackButton]->setEnabled(false);
  controls_[kSetupMapField]->setEnabled(false);
  controls_[kSetupMapFind]->setEnabled(false);

  LayOut();
}

void SetupDialog::Place(QWidget* widget, const DialogPlace& place) {
  layout_.Place(widget, place);
}

void SetupDialog::LayOut() {
  units_ = layout_.Apply(*this, kSetupWidth, kSetupHeight);
}

QLineEdit* SetupDialog::AddField(int id, const DialogPlace& place) {
  auto* field = new QLineEdit(this);
  field->setObjectName(Name("edit", id));
  // No limit of its own: a limit cuts what is typed or picked into another
  // name. Qt's default of 32767 characters is beyond any path a system
  // allows; the page refuses a name longer than that when Next is pressed.
  Place(field, place);
  fields_[id] = field;
  controls_[id] = field;
  return field;
}

QAbstractButton* SetupDialog::AddButton(QAbstractButton* button, int id, const DialogPlace& place) {
  button->setObjectName(Name(qobject_cast<QRadioButton*>(button) ? "radio" : "button", id));
  Place(button, place);
  controls_[id] = button;
  // The back button never acts.
  if (id != kSetupBackButton) {
    connect(button, &QAbstractButton::clicked, this, [this, id] { Command(id); });
  }
  return button;
}

int SetupDialog::Run() {
  ended_ = false;
  result_ = kPageLeave;
  SetupPageOpen(run_, *this);
  if (!ended_) exec();
  return result_;
}

void SetupDialog::EndPage(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  done(result);
}

void SetupDialog::PostCommand(int command) {
  QMetaObject::invokeMethod(
      this, [this, command] { Command(command); }, Qt::QueuedConnection);
}

void SetupDialog::SetApplicationIcon() {
  setWindowIcon(AppIcon());
}

std::string SetupDialog::FieldText(int field) const {
  auto found = fields_.find(field);
  return found != fields_.end() ? found->second->text().toStdString() : std::string();
}

void SetupDialog::SetFieldText(int field, const std::string& text) {
  auto found = fields_.find(field);
  if (found != fields_.end()) found->second->setText(QString::fromStdString(text));
}

void SetupDialog::CheckRadioButton(int button) {
  // The four are one exclusive group: checking one clears the others.
  auto found = radios_.find(button);
  if (found != radios_.end()) found->second->setChecked(true);
}

bool SetupDialog::IsRadioChecked(int button) const {
  auto found = radios_.find(button);
  return found != radios_.end() && found->second->isChecked();
}

void SetupDialog::EnableControl(int control, bool enabled) {
  auto found = controls_.find(control);
  if (found != controls_.end()) found->second->setEnabled(enabled);
}

void SetupDialog::OpenComms() {
  DoComms(run_, this);
}

void SetupDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    Command(kSetupNextButton);
    return;
  }
  QDialog::keyPressEvent(event);
}

void SetupDialog::reject() {
  Command(kSetupCloseRequest);
}

void SetupDialog::Command(int command) {
  if (!ended_) SetupPageCommand(run_, files_, *this, command);
}

}  // namespace rv4410
