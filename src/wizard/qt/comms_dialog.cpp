#include "wizard/qt/comms_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "protocol/waiting_page.h"
#include "wizard/qt/app_icon.h"
#include "wizard/qt/dialog_units.h"

namespace rv4410 {

namespace {

// The dialog's size and its controls' places, in dialog units.
constexpr int kCommsWidth = 184;
constexpr int kCommsHeight = 117;
constexpr DialogPlace kPortGroup{7, 7, 112, 60};
constexpr int kPortX = 13, kPortY = 18, kPortStep = 11, kPortWidth = 32, kPortHeight = 10;
constexpr int kDeviceX = 46, kDeviceWidth = 70, kDeviceHeight = 10;
constexpr DialogPlace kRateGroup{125, 7, 52, 88};
constexpr int kRateX = 131, kRateY = 17, kRateStep = 9, kRateWidth = 44, kRateHeight = 9;
constexpr DialogPlace kOkPlace{7, 96, 50, 14};
constexpr DialogPlace kCancelPlace{62, 96, 50, 14};

QString Name(const char* kind, int id) {
  return QString::fromLatin1(kind) + QString::number(id);
}

// The device without its "/dev/" folder: "ttyUSB0", "pts/5".
QString ShortDevice(const std::string& device) {
  QString path = QString::fromStdString(device);
  if (path.startsWith(QLatin1String("/dev/"))) path.remove(0, 5);
  return path;
}

}  // namespace

CommsDialog::CommsDialog(RunState& run, QWidget* parent) : QDialog(parent), run_(run) {
  setWindowTitle(QString::fromLatin1(kCommsCaption));
  setModal(true);
  DialogLayout layout;
  auto place = [&layout](QWidget* widget, const DialogPlace& at) { layout.Place(widget, at); };

  // The groups come first, so that the buttons they frame lie above them.
  auto* portGroup = new QGroupBox(QString::fromLatin1(kCommsPortGroupText), this);
  portGroup->setObjectName(QStringLiteral("portGroup"));
  place(portGroup, kPortGroup);
  auto* rateGroup = new QGroupBox(QString::fromLatin1(kCommsRateGroupText), this);
  rateGroup->setObjectName(QStringLiteral("rateGroup"));
  place(rateGroup, kRateGroup);

  auto* ports = new QButtonGroup(this);
  int row = 0;
  for (const CommsPortButton& port : kCommsPorts) {
    auto* radio = new QRadioButton(QString::fromLatin1(port.name), this);
    radio->setObjectName(Name("radio", port.id));
    place(radio, {kPortX, kPortY + row * kPortStep, kPortWidth, kPortHeight});
    ports->addButton(radio, port.id);
    radios_[port.id] = radio;
    auto* device = new QLabel(this);
    device->setObjectName(Name("device", port.id));
    place(device, {kDeviceX, kPortY + row * kPortStep, kDeviceWidth, kDeviceHeight});
    deviceLabels_[port.id] = device;
    ++row;
  }
  auto* rates = new QButtonGroup(this);
  row = 0;
  for (const CommsRateButton& rate : kCommsRates) {
    auto* radio = new QRadioButton(QString::number(rate.baud), this);
    radio->setObjectName(Name("radio", rate.id));
    place(radio, {kRateX, kRateY + row * kRateStep, kRateWidth, kRateHeight});
    rates->addButton(radio, rate.id);
    radios_[rate.id] = radio;
    ++row;
  }

  auto* ok = new QPushButton(QString::fromLatin1(kCommsOkText), this);
  ok->setObjectName(Name("button", kCommsOkButton));
  ok->setDefault(true);
  place(ok, kOkPlace);
  connect(ok, &QPushButton::clicked, this, [this] { Command(kCommsOkButton); });
  auto* cancel = new QPushButton(QString::fromLatin1(kWaitingCancelText), this);
  cancel->setObjectName(Name("button", kCommsCancelButton));
  cancel->setAutoDefault(false);
  place(cancel, kCancelPlace);
  connect(cancel, &QPushButton::clicked, this, [this] { Command(kCommsCancelButton); });
  units_ = layout.Apply(*this, kCommsWidth, kCommsHeight);
}

int CommsDialog::Run() {
  ended_ = false;
  result_ = 0;
  CommsPageOpen(run_, *this);
  if (!ended_) exec();
  return result_;
}

void CommsDialog::EndPage(int result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  done(result);
}

void CommsDialog::SetApplicationIcon() {
  setWindowIcon(AppIcon());
}

void CommsDialog::CheckButton(int button) {
  auto found = radios_.find(button);
  if (found != radios_.end()) found->second->setChecked(true);
}

bool CommsDialog::IsButtonChecked(int button) const {
  auto found = radios_.find(button);
  return found != radios_.end() && found->second->isChecked();
}

void CommsDialog::ShowPortState(int button, const PortDiagnosis& diagnosis) {
  auto found = deviceLabels_.find(button);
  if (found == deviceLabels_.end()) return;
  QString state = QString::fromLatin1(PortStateWord(diagnosis.state));
  QString device = ShortDevice(diagnosis.device);
  found->second->setText(device.isEmpty() ? state : device + QStringLiteral(": ") + state);
  // The whole story, where the label has no room for it.
  QString full = QString::fromStdString(diagnosis.device) + QStringLiteral(": ") + state;
  std::string reason = DescribePortDiagnosis(radios_[button]->text().toStdString(), diagnosis);
  found->second->setToolTip(reason.empty() ? full : QString::fromStdString(reason));
}

void CommsDialog::reject() {
  Command(kCommsCloseRequest);
}

void CommsDialog::Command(int command) {
  if (!ended_) CommsPageCommand(run_, *this, command);
}

int DoComms(RunState& run, QWidget* owner) {
  CommsDialog dialog(run, owner);
  return DoComms(run, static_cast<CommsPage&>(dialog));
}

}  // namespace rv4410
