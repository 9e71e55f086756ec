// Whole uploads on the transfer page (offscreen) through QSerialPort against
// rv4410-sim on a pseudo-terminal: what the unit has flashed afterwards, and
// its configuration across a program upload.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <memory>
#include <sstream>

#include "platform/qt_host.h"
#include "protocol/page_results.h"
#include "support/image_builders.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "uploads/map_upload.h"
#include "wizard/qt/transfer_dialog.h"

namespace rv4410::test {
namespace {

class UploadEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    state.run.log.LogOpen();
    state.run.settings.configFile = dir.File("param.dat");
  }

  void StartSim(std::vector<std::string> arguments) {
    arguments.insert(arguments.end(),
                     {"--journal", journal, "--params-out", paramsOut, "--program-out", programOut,
                      "--map-out", mapOut, "--map-control-block-out", mapBlockOut});
    sim = std::make_unique<SimProcess>(arguments);
    ASSERT_TRUE(sim->Started());
    sim->BindTo("COM1");
  }

  void Load(const Bytes& bytes) {
    LoadedImage& image = state.files.loadedImage;
    ASSERT_TRUE(image.Allocate(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), image.Data());
    image.length = static_cast<std::int64_t>(bytes.size());
  }

  // Runs the transfer page; answers "Upload to another unit?" with No and
  // presses Exit once the page shows its last status.
  int RunPage(LoaderFunction function, const char* doneStatus) {
    state.run.settings.function = function;
    TransferDialog dialog(state);
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shownBoxes.push_back(box->text().toStdString());
        if (QAbstractButton* no = box->button(QMessageBox::No)) {
          no->click();
        } else {
          box->button(QMessageBox::Ok)->click();
        }
        return;
      }
      auto* status = dialog.findChild<QLineEdit*>(QStringLiteral("status1033"));
      if (!state.OperationRunning && status != nullptr &&
          status->text() == QString::fromLatin1(doneStatus) && !dialog.Ended()) {
        dialog.EndPage(kPageLeave);
      }
    });
    watcher.start(50);
    int result = DoTransfer(state, dialog);
    QCoreApplication::processEvents();
    return result;
  }

  // Stops the simulator once the unit has taken the reset (its bytes leave
  // the PC after the page has closed the port), or after 3 s.
  void StopSimAfterReset() {
    QElapsedTimer clock;
    clock.start();
    while (ReadFile(journal).find(" command RESET") == std::string::npos &&
           clock.elapsed() < 3000) {
      QThread::msleep(20);
    }
    sim->Stop();
  }

  // The command lines the unit received, in order.
  std::vector<std::string> Commands() const {
    std::vector<std::string> commands;
    std::istringstream lines(ReadFile(journal));
    for (std::string line; std::getline(lines, line);) {
      std::size_t at = line.find(" command");
      if (at == std::string::npos) continue;
      commands.push_back(at + 9 <= line.size() ? line.substr(at + 9) : "");
    }
    return commands;
  }

  TempDir dir;
  QtHost host;
  LoaderState state{host, dir.File("Loader.LOG")};
  std::string journal = dir.File("journal.txt");
  std::string paramsOut = dir.File("params-out.dat");
  std::string programOut = dir.File("program.bin");
  std::string mapOut = dir.File("map.bin");
  std::string mapBlockOut = dir.File("map-control-block.bin");
  std::unique_ptr<SimProcess> sim;
  std::vector<std::string> shownBoxes;
};

TEST_F(UploadEndToEnd, BlockUploadFlashesTheImageAndKeepsTheConfiguration) {
  StartSim({"--program-erase-ms", "200"});
  Bytes image = BuildProgramImage({.length = 40'000, .seed = 3});
  Load(image);
  state.run.UnitInfoValid = true;
  EXPECT_EQ(RunPage(kWriteProgram, "          Done          "), kPageLeave);
  StopSimAfterReset();
  EXPECT_EQ(ReadFile(programOut), AsString(image));
  // What the unit held before, read at the start, is what it holds afterwards.
  EXPECT_EQ(ReadFile(paramsOut), ReadFile(state.run.settings.configFile));
  ASSERT_FALSE(Commands().empty());
  EXPECT_EQ(Commands().back(), "RESET");
  EXPECT_TRUE(shownBoxes.empty());
  EXPECT_NE(ReadFile(dir.File("Loader.LOG")).find("Baud Rate Set to 115200"), std::string::npos);
}

TEST_F(UploadEndToEnd, BlocksAt9600WaitForTheirAnswerAfterTheLastByteHasLeft) {
  // A 1040-byte frame takes 1.08 s on the line at 9600 baud, longer than
  // the 1050 ms the answer is given.
  StartSim({"--cable-max-baud", "9600", "--program-erase-ms", "200"});
  Bytes image = BuildProgramImage({.length = 256 + 3 * 1024, .seed = 4});
  Load(image);
  state.run.UnitInfoValid = true;
  EXPECT_EQ(RunPage(kWriteProgram, "          Done          "), kPageLeave);
  sim->Stop();
  EXPECT_EQ(ReadFile(programOut), AsString(image));
  EXPECT_EQ(ReadFile(dir.File("Loader.LOG")).find("Retry count"), std::string::npos);
}

TEST_F(UploadEndToEnd, RawStreamAt9600FlashesTheImageAndKeepsTheConfiguration) {
  StartSim({"--program-erase-ms", "200"});
  Bytes image = BuildProgramImage({.length = 16 * 1024, .seed = 5});
  Load(image);
  state.run.UnitInfoValid = false;
  EXPECT_EQ(RunPage(kWriteProgram, "       DONE       "), kPageLeave);
  StopSimAfterReset();
  EXPECT_EQ(ReadFile(programOut), AsString(image));
  EXPECT_EQ(ReadFile(paramsOut), ReadFile(state.run.settings.configFile));
  ASSERT_FALSE(Commands().empty());
  EXPECT_EQ(Commands().back(), "RESET");
  EXPECT_EQ(shownBoxes,
            std::vector<std::string>{"Program upload completed\nUpload to another unit?"});
}

class MapEndToEnd : public UploadEndToEnd, public ::testing::WithParamInterface<int> {};

TEST_P(MapEndToEnd, TheMapAndItsPlacedControlBlockLandInTheUnit) {
  const int cable = GetParam();
  const std::size_t length = cable == 115200 ? 256 * 1024 : 5000;
  StartSim({"--cable-max-baud", std::to_string(cable), "--map-base", "0x20000", "--map-erase-ms",
            "200"});
  Bytes data = PatternBytes(length, 11);
  Load(data);
  for (std::size_t field = 0; field < 7; ++field) {
    state.files.mapControlBlock.SetWord(field * 8, static_cast<std::uint32_t>(field) * 0x100);
  }
  ControlBlock placed = state.files.mapControlBlock;
  RelocateMapControlBlock(placed, 0x20000);
  // The waiting page's identification query found the unit.
  state.run.unitInfo.bytes[UnitInfo::kMapBaseOffset + 1] = 0x02;
  state.run.UnitInfoValid = true;
  EXPECT_EQ(RunPage(kWriteMap, "          Done            "), kPageLeave);
  sim->Stop();
  EXPECT_EQ(ReadFile(mapOut), AsString(data));
  EXPECT_EQ(ReadFile(mapBlockOut), AsString(Bytes(placed.bytes.begin(), placed.bytes.end())));
  EXPECT_TRUE(shownBoxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Speeds, MapEndToEnd, ::testing::Values(115200, 9600),
                         [](const auto& info) { return "At" + std::to_string(info.param); });

}  // namespace
}  // namespace rv4410::test
