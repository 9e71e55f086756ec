// The whole round trip on a real pseudo-terminal: the Qt host and its serial
// port read the simulated unit's configuration and write it back unchanged.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "config/parameter_line.h"
#include "config/parameter_table.h"
#include "config/read_configuration.h"
#include "config/write_configuration.h"
#include "platform/qt_host.h"
#include "protocol/command_lines.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace rv4410 {
namespace {

using test::ReadFile;
using test::SimProcess;
using test::TempDir;
using test::WriteFile;

// The unit's list as it starts: a few values set apart from the installed ones,
// so that the saved list shows the unit's own state, not a default.
std::string StartingList() {
  return "ADF-1 Select    0x00000000\r\n"
         "DG Select       0x00000005\r\n"
         "LCD Vpos        0x000000AF\r\n"
         "Lamp Mins  Last 0x0002DA5E\r\n"
         "Map1 Cat Select  0x00000001\r\n"
         "Map5 Item Select 0x000000FF\r\n"
         "HDG             0x00000167\r\n"
         "Swap Reason     0xFFFFFFFE\r\n";
}

// The Qt host with its boxes answered by the test: the port is the real one.
class AnsweringQtHost : public QtHost {
 public:
  BoxAnswer ShowMessageBox(const MessageBoxRequest& request) override {
    boxes.push_back(request);
    return BoxAnswer::kOk;
  }
  std::vector<MessageBoxRequest> boxes;
};

class ConfigurationEndToEnd : public ::testing::Test {
 protected:
  ConfigurationEndToEnd() : run(host, dir.File("Loader.LOG")) {}

  // Starts the simulator with the starting list and `arguments`, and opens
  // the port to it with the log and the configuration file in the folder.
  void StartUnit(std::vector<std::string> arguments) {
    WriteFile(unitIn, StartingList());
    arguments.insert(arguments.begin(), {"--params-in", unitIn});
    sim = std::make_unique<SimProcess>(arguments);
    ASSERT_TRUE(sim->Started());
    sim->BindTo("COM1");
    run.log.LogOpen();
    run.settings.portName = "COM1";
    run.settings.configFile = dir.File("param.dat");
    ASSERT_EQ(SerialOpen(run.link), 1);
  }
  void Finish() {
    SerialClose(run.link);
    run.log.LogClose();
    sim->Stop();
  }

  TempDir dir;
  const std::string unitIn = dir.File("unit-in.dat");
  const std::string unitOut = dir.File("unit-out.dat");
  AnsweringQtHost host;
  RunState run;
  std::unique_ptr<SimProcess> sim;
};

class ConfigurationRoundTripEndToEnd : public ConfigurationEndToEnd,
                                       public ::testing::WithParamInterface<bool> {};

TEST_P(ConfigurationRoundTripEndToEnd, UnitKeepsItsParametersThroughReadAndWrite) {
  std::vector<std::string> arguments = {"--params-out", unitOut};
  if (!GetParam()) arguments.push_back("--no-checked-exchange");
  StartUnit(arguments);
  if (HasFatalFailure()) return;

  ASSERT_EQ(ReadConfiguration(run).ending, Ending::kDone);
  EXPECT_EQ(ReadFile(run.settings.configFile), StartingList());
  // Every checked line was acknowledged.
  std::string log = ReadFile(dir.File("Loader.LOG"));
  EXPECT_EQ(log.find("Unit Sent"), std::string::npos) << log;

  ASSERT_EQ(WriteConfiguration(run).ending, Ending::kDone);
  ReplyBuffer reply{};
  int n = ReceiveLine(run, reply.data(), 5000);
  ASSERT_GE(n, 2);
  EXPECT_EQ(std::string(reply.data(), 2), "OK");
  Finish();

  EXPECT_EQ(ReadFile(unitOut), StartingList());
  EXPECT_EQ(ReadFile(run.settings.configFile), StartingList());
  EXPECT_TRUE(host.boxes.empty());
}

TEST_F(ConfigurationEndToEnd, UnitThatStopsMidLineLeavesTheSavedFileIntact) {
  // The unit loses its power in the middle of its fourth line.
  StartUnit({"--cut-line", "3"});
  if (HasFatalFailure()) return;
  const std::string saved = "HDG             0x00000005\r\nDG Select       0x00000001\r\n";
  WriteFile(run.settings.configFile, saved);

  // The broken line restarts the read, which the unit no longer answers.
  EXPECT_EQ(ReadConfiguration(run).ending, Ending::kNoAnswer);
  Finish();

  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].caption, kParameterTransferErrorCaption);
  EXPECT_EQ(ReadFile(run.settings.configFile), saved);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Loader.LOG", "param.dat", "unit-in.dat"}));
}

// Every parameter of the table at its minimum: the whole list, about 3.9 KB,
// half a minute on the line at 1200 baud.
std::string WholeTableList() {
  std::string list;
  for (const ParameterEntry& entry : ParameterTable) {
    list += FormatText(kReplacementLineFormat, std::string(entry.Name()).c_str(),
                       static_cast<unsigned>(entry.minimum));
    list += "\n";
  }
  return list;
}

// The list takes far longer on the line than the unit's 5000 ms for its answer;
// the wait for the answer counts from when the last byte has left.
TEST(PlainWriteAt1200EndToEnd, WholeListIsAnsweredOkAndTheUnitHoldsIt) {
  TempDir dir;
  const std::string unitOut = dir.File("unit-out.dat");
  SimProcess sim({"--speed", "1200", "--no-checked-exchange", "--params-out", unitOut});
  ASSERT_TRUE(sim.Started());
  sim.BindTo("COM1");

  QtHost host;
  RunState run(host, dir.File("Loader.LOG"));
  run.settings.portName = "COM1";
  run.settings.baudRate = 1200;
  run.settings.configFile = dir.File("param.dat");
  const std::string list = WholeTableList();
  ASSERT_GT(list.size(), 3700u);
  WriteFile(run.settings.configFile, list);
  ASSERT_EQ(SerialOpen(run.link), 1);

  ASSERT_EQ(WriteConfiguration(run).ending, Ending::kDone);
  ReplyBuffer reply{};
  ASSERT_GE(ReceiveLine(run, reply.data(), 5000), 2);
  EXPECT_EQ(std::string(reply.data(), 2), "OK");
  SerialClose(run.link);

  sim.Stop();
  std::string held = ReadFile(unitOut);
  // The unit keeps the lines with their CR LF line ends.
  std::string expected;
  for (char c : list) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(held, expected);
}

INSTANTIATE_TEST_SUITE_P(CheckedAndPlain, ConfigurationRoundTripEndToEnd, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Checked" : "Plain"; });

}  // namespace
}  // namespace rv4410
