// rv4410-screens DIR: renders the splash, every page and the communications
// dialog as they look to the user into DIR/<name>.png, offscreen.

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QPixmap>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "activity_log/activity_log.h"
#include "platform/format.h"
#include "platform/qt_host.h"
#include "protocol/boxes.h"
#include "protocol/command_lines.h"
#include "protocol/transfer_setup.h"
#include "uploads/loader_state.h"
#include "uploads/map_upload.h"
#include "uploads/program_upload.h"
#include "uploads/transfer_driver.h"
#include "uploads/upload_steps.h"
#include "wizard/comms_page.h"
#include "wizard/qt/comms_dialog.h"
#include "wizard/qt/page_picture.h"
#include "wizard/qt/setup_dialog.h"
#include "wizard/qt/splash_window.h"
#include "wizard/qt/transfer_dialog.h"
#include "wizard/qt/waiting_dialog.h"
#include "wizard/setup_page.h"

namespace {

using namespace rv4410;

struct Screen {
  const char* name;
  std::function<std::unique_ptr<QWidget>(LoaderState&)> make;
};

std::unique_ptr<QWidget> MakeSplash(LoaderState&) {
  return std::make_unique<SplashWindow>(ProgramVersionInfo());
}

std::unique_ptr<QWidget> MakeWaiting(LoaderState& state) {
  return std::make_unique<WaitingDialog>(state.run, RequirementOf(state.files.mapHeader));
}

// The transfer page as a program upload's data begins; the longest line wraps.
std::unique_ptr<QWidget> MakeTransfer(LoaderState& state) {
  auto page = std::make_unique<TransferDialog>(state);
  page->SetApplicationIcon();
  LogWindow& log = page->LogControl();
  // As the page shows it once its log is attached.
  log.SetLogFont(kLogFontFamily, kLogFontHeight);
  for (const char* line :
       {kCommunicationsReady, kSetUpForTransfer, kSettingProgramLoadMode, kSendingControlBlock}) {
    log.Append(line);
  }
  log.Append(FormatText(kSendingProgramDataFormat, 65792));
  page->SetStatusText(kStatusField1032, FormatText(kBaudRateSetFormat, 115200));
  page->SetProgressRange(0, kProgressMaximum, 1);
  page->SetProgress(kProgressMaximum * 2 / 5);
  return page;
}

// The transfer page after a map upload failed and the page stayed open: a
// block the unit never answered, "Try again?" answered No.
std::unique_ptr<QWidget> MakeTransferFailed(LoaderState& state) {
  auto page = std::make_unique<TransferDialog>(state);
  page->SetApplicationIcon();
  LogWindow& log = page->LogControl();
  log.SetLogFont(kLogFontFamily, kLogFontHeight);
  constexpr int kMapBytes = 65536;
  constexpr int kSent = 20480;
  for (const char* line :
       {kCommunicationsReady, kSetUpForTransfer, kSettingMapLoadMode, kSendingControlBlock}) {
    log.Append(line);
  }
  log.Append(FormatText(kSendingMapDataFormat, kMapBytes));
  log.Append(std::string(kRetryLogPrefix) + kBlockSendTimedOut + "\r\n");
  log.Append(FormatText(kBoxAnswerFormat, "No") + "\r\n");
  std::string reason(kBlockSendTimedOut, std::string_view(kBlockSendTimedOut).find('\n'));
  log.Append(FormatText(kFailedLogFormat, reason.c_str()));
  page->SetProgressRange(0, kProgressMaximum, 1);
  page->SetProgress(kSent * kProgressMaximum / kMapBytes);
  page->SetStatusText(kStatusField1032, FormatText(kSentOfFormat, kSent, kMapBytes));
  page->SetStatusText(kStatusField1033, FormatText(kFailedFormat, reason.c_str()));
  page->StopProgress();
  page->EnableExit(true);
  return page;
}

// The four pictures side by side, small and large, to see that they stay legible.
// The setup page as it opens, the remembered function selected.
std::unique_ptr<QWidget> MakeSetup(LoaderState& state) {
  auto page = std::make_unique<SetupDialog>(state.run, state.files);
  state.run.settings.programFile = "RV4410_sample.hex";
  state.run.settings.configFile = "RV4410_Param_1767225600.dat";
  state.run.settings.mapFile = "RV4410_sample.bin";
  SetupPageOpen(state.run, *page);
  QCoreApplication::processEvents();
  return page;
}

// The communications dialog as it opens, each name with its device.
std::unique_ptr<QWidget> MakeComms(LoaderState& state) {
  auto dialog = std::make_unique<CommsDialog>(state.run);
  CommsPageOpen(state.run, *dialog);
  return dialog;
}

std::unique_ptr<QWidget> MakePictures(LoaderState&) {
  auto sheet = std::make_unique<QWidget>();
  auto* grid = new QGridLayout(sheet.get());
  int column = 0;
  for (PictureKind kind :
       {PictureKind::kSplash, PictureKind::kSetup, PictureKind::kWaiting, PictureKind::kTransfer}) {
    auto* small = new PagePicture(kind, sheet.get());
    small->setFixedSize(72, 100);
    auto* large = new PagePicture(kind, sheet.get());
    large->setFixedSize(216, 300);
    grid->addWidget(small, 0, column, Qt::AlignTop);
    grid->addWidget(large, 1, column);
    ++column;
  }
  return sheet;
}

const std::vector<Screen> kScreens = {
    {"pictures", MakePictures},
    {"splash", MakeSplash},
    {"setup", MakeSetup},
    {"comms", MakeComms},
    {"waiting", MakeWaiting},
    {"transfer", MakeTransfer},
    {"transfer-failed", MakeTransferFailed},
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: rv4410-screens DIR\n");
    return 2;
  }
  QDir out(QString::fromLocal8Bit(argv[1]));
  if (!out.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "rv4410-screens: cannot create %s\n", argv[1]);
    return 1;
  }
  QtHost host;
  // The pages write nothing here: no log file, no port.
  LoaderState state(host, "/dev/null");
  int status = 0;
  for (const Screen& screen : kScreens) {
    std::unique_ptr<QWidget> widget = screen.make(state);
    widget->show();
    QCoreApplication::processEvents();
    QString path = out.filePath(QString::fromLatin1(screen.name) + QStringLiteral(".png"));
    if (!widget->grab().save(path)) {
      std::fprintf(stderr, "rv4410-screens: cannot write %s\n", qPrintable(path));
      status = 1;
      continue;
    }
    std::printf("%s\n", qPrintable(path));
  }
  return status;
}
