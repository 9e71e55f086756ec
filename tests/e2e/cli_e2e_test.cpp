// The rv4410 command line as scripts run it: the built program as a child
// process, against rv4410-sim on pseudo-terminals through the real serial
// port; its exit codes, its JSON lines, and what the units hold afterwards.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "config/pending_restore.h"
#include "config/read_configuration.h"
#include "platform/format.h"
#include "protocol/command_lines.h"
#include "support/image_builders.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"
#include "uploads/program_upload.h"

namespace rv4410::test {
namespace {

struct CliRun {
  int code = -1;
  std::string out;
  std::string err;
};

QStringList ToQt(const std::vector<std::string>& arguments) {
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  return list;
}

std::vector<QJsonObject> JsonLines(const std::string& text) {
  std::vector<QJsonObject> objects;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
    EXPECT_TRUE(document.isObject()) << line;
    objects.push_back(document.object());
  }
  return objects;
}

class CliEndToEnd : public ::testing::Test {
 protected:
  // A unit at 115200 from the start, so that the configuration exchanges are quick.
  SimProcess& StartSim(std::vector<std::string> arguments, const std::string& tag = "") {
    arguments.insert(
        arguments.end(),
        {"--speed", "115200", "--program-erase-ms", "100", "--restart-ms", "200", "--journal",
         dir.File("journal" + tag), "--program-out", dir.File("program-out" + tag)});
    sims.push_back(std::make_unique<SimProcess>(arguments));
    EXPECT_TRUE(sims.back()->Started());
    return *sims.back();
  }

  void StartCli(QProcess& process, const std::vector<std::string>& arguments) {
    process.setWorkingDirectory(QString::fromStdString(dir.Path()));
    process.start(RV4410_CLI_PATH, ToQt(arguments));
    ASSERT_TRUE(process.waitForStarted());
  }

  // Runs rv4410 to its end; one still running after `limitMs` is killed
  // and reported as code -1.
  CliRun Run(const std::vector<std::string>& arguments, int limitMs = 180000) {
    QProcess process;
    StartCli(process, arguments);
    return Finish(process, limitMs);
  }

  CliRun Finish(QProcess& process, int limitMs) {
    bool finished = process.waitForFinished(limitMs);
    EXPECT_TRUE(finished) << "still running after " << limitMs << " ms";
    if (!finished) {
      process.kill();
      process.waitForFinished();
    }
    CliRun run;
    run.code = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
  }

  // Waits until the log in the test's folder holds `line`.
  bool WaitForLogLine(const std::string& line, int limitMs = 30000) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < limitMs) {
      if (ReadFile(dir.File("Loader.LOG")).find(line + "\n") != std::string::npos) return true;
      QThread::msleep(20);
    }
    return false;
  }

  // The names in the test's folder.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // The port options of a unit at 115200.
  std::vector<std::string> On(const SimProcess& sim, std::vector<std::string> rest) {
    std::vector<std::string> arguments{"-p", sim.Path(), "-b", "115200", "--wait", "10"};
    arguments.insert(arguments.end(), rest.begin(), rest.end());
    return arguments;
  }

  Bytes WriteProgram(const std::string& name, std::size_t length, std::uint32_t seed = 1) {
    ProgramImagePlan plan;
    plan.length = length;
    plan.seed = seed;
    Bytes image = BuildProgramImage(plan);
    WriteFile(dir.File(name), HexText(image));
    return image;
  }

  // Records a restore pending for `file` as it holds now, as a run leaves
  // the record when it ends after its flash write.
  void RecordPendingRestore(const std::string& file) {
    PendingRestore record;
    ASSERT_TRUE(ReadListFacts(dir.File(file), record.list));
    record.configFile = dir.File(file);
    record.program = "RV4410_a.hex";
    record.started = "earlier";
    ASSERT_TRUE(WritePendingRestore(record));
  }
  int FileCount(const std::string& ending) const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
      std::string name = entry.path().filename().string();
      if (name.size() >= ending.size() &&
          name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
        ++count;
      }
    }
    return count;
  }

  TempDir dir;
  std::vector<std::unique_ptr<SimProcess>> sims;
};

TEST_F(CliEndToEnd, UsageErrorsExitTwo) {
  EXPECT_EQ(Run({"frobnicate"}).code, 2);
  EXPECT_EQ(Run({}).code, 2);
  EXPECT_EQ(Run({"read-config"}).code, 2);
  EXPECT_EQ(Run({"--wait", "soon", "identify"}).code, 2);
  EXPECT_EQ(Run({"identify", "--config", "x.dat"}).code, 2);
  EXPECT_EQ(Run({"--help", "frobnicate"}).code, 2);
  CliRun help = Run({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("130  interrupted"), std::string::npos);
}

// Each command's --help describes that command, wherever --help stands, and
// runs nothing.
TEST_F(CliEndToEnd, HelpAfterACommandDescribesThatCommand) {
  struct Case {
    std::vector<std::string> words;
    const char* usage;
    const char* mentions;
  } cases[] = {
      {{"ports", "--help"}, "Usage: rv4410 ports\n", "VID:PID"},
      {{"identify", "--help"}, "Usage: rv4410 [options] identify\n", "free map memory"},
      {{"read-config", "--help"}, "Usage: rv4410 [options] read-config FILE\n", "FILE.1"},
      {{"write-config", "x.dat", "--help"},
       "Usage: rv4410 [options] write-config FILE\n",
       "minimum"},
      {{"--help", "write-program"},
       "Usage: rv4410 [options] write-program FILE [--config FILE]\n",
       "--restore saved|unit"},
      {{"-p", "COM2", "write-map", "--help"},
       "Usage: rv4410 [options] write-map FILE\n",
       "--accept-dates"},
  };
  std::set<std::string> before = Names();
  for (const Case& c : cases) {
    CliRun run = Run(c.words);
    EXPECT_EQ(run.code, 0) << c.usage;
    EXPECT_EQ(run.out.rfind(c.usage, 0), 0u) << run.out;
    EXPECT_NE(run.out.find(c.mentions), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Commands:"), std::string::npos) << run.out;
  }
  EXPECT_EQ(Names(), before);
}

// An empty FILE would quietly mean a default file, and a name longer than a
// path may be would be cut into another: both are usage errors, before any
// file or port is touched.
TEST_F(CliEndToEnd, AnEmptyOrOverlongFileNameIsAUsageError) {
  SimProcess& sim = StartSim({});
  std::set<std::string> before = Names();
  std::string overlong(4200, 'n');
  for (const std::vector<std::string>& words :
       std::vector<std::vector<std::string>>{{"read-config", ""},
                                             {"write-config", ""},
                                             {"write-map", ""},
                                             {"write-program", ""},
                                             {"write-program", "a.hex", "--config", ""},
                                             {"--log", "", "read-config", "unit.dat"},
                                             {"read-config", overlong},
                                             {"write-program", "a.hex", "--config", overlong}}) {
    CliRun run = Run(On(sim, words));
    EXPECT_EQ(run.code, 2) << words[0] << " " << words[1].size();
    EXPECT_NE(run.err.find("Try 'rv4410 --help'."), std::string::npos) << run.err;
  }
  EXPECT_NE(Run(On(sim, {"read-config", overlong})).err.find("(at most 4095 bytes)"),
            std::string::npos);
  EXPECT_EQ(Names(), before);
}

// A path of 267 characters names its own file, not the one at its first 255
// characters: the whole path is read, and written.
TEST_F(CliEndToEnd, ALongPathIsTakenWholeNotCutToAnotherFile) {
  SimProcess& sim = StartSim({});
  auto longPath = [this](char fill, const std::string& end) {
    std::string prefix = dir.Path() + "/";
    prefix += std::string(255 - prefix.size(), fill);
    return std::pair{prefix, prefix + end};
  };
  auto [programPrefix, program] = longPath('p', "-12chars.hex");
  ASSERT_EQ(program.size(), 267u);
  Bytes wanted = BuildProgramImage({.length = 256 + 2048, .seed = 31});
  WriteFile(program, HexText(wanted));
  WriteFile(programPrefix, HexText(BuildProgramImage({.length = 256 + 2048, .seed = 32})));
  CliRun written = Run(On(sim, {"write-program", program, "--config", "saved.dat"}));
  ASSERT_EQ(written.code, 0) << written.err;
  EXPECT_EQ(ReadFile(dir.File("program-out")), AsString(wanted));

  auto [configPrefix, config] = longPath('c', "-unit-one.dat");
  CliRun read = Run(On(sim, {"read-config", config}));
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_NE(ReadFile(config).find("Swap Reason"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(configPrefix));
}

// A program or map file that is a FIFO or a device is refused before it is
// opened, at once, as a file that will not open is.
TEST_F(CliEndToEnd, AFifoOrDeviceAsTheImageFileIsRefusedAtOnce) {
  SimProcess& sim = StartSim({});
  std::string fifo = dir.File("fifo.hex");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& name : {fifo, std::string("/dev/zero")}) {
    CliRun program = Run(On(sim, {"write-program", name, "--config", "saved.dat"}), 20000);
    EXPECT_EQ(program.code, 4) << name;
    EXPECT_NE(program.err.find("Couldn't open '" + name + "'."), std::string::npos) << program.err;
    CliRun map = Run(On(sim, {"write-map", name}), 20000);
    EXPECT_EQ(map.code, 4) << name;
    EXPECT_NE(map.err.find("Couldn't read map file '" + name + "'."), std::string::npos) << map.err;
  }
  EXPECT_NE(ReadFile(dir.File("Loader.LOG")).find("'/dev/zero' is not a regular file: not read"),
            std::string::npos);
}

// SIGINT while a program or map file is being read (here a file of 64 GiB
// that is all hole, read in a minute or more) ends the run promptly with 130,
// nothing written.
TEST_F(CliEndToEnd, InterruptWhileReadingTheImageFileExits130) {
  SimProcess& sim = StartSim({});
  // A header claiming the largest image, then nothing but NUL bytes.
  Bytes header(16, 0);
  PutBig32(header, 8, 0x7FFFFFFFu);
  WriteFile(dir.File("RV4410_huge.hex"), HexText(header));
  std::filesystem::resize_file(dir.File("RV4410_huge.hex"), std::uintmax_t{64} << 30);
  // A map whose header says more bytes follow the trailer than any file holds.
  MapFilePlan plan;
  plan.data = PatternBytes(16, 3);
  plan.overrideTotalLength = true;
  plan.totalLength = 0xFFFFFFF0u;
  WriteFile(dir.File("huge.bin"), AsString(BuildMapFile(plan)));
  std::filesystem::resize_file(dir.File("huge.bin"), std::uintmax_t{64} << 30);

  struct Case {
    std::vector<std::string> words;
    std::string readingLine;  // in the log once the file is being read
  } cases[] = {
      {{"write-program", "RV4410_huge.hex", "--config", "saved.dat"}, "Read Program file..."},
      {{"--accept-dates", "write-map", "huge.bin"}, "Map Data Valid in Date Range below ONLY "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words[0]);
    std::remove(dir.File("Loader.LOG").c_str());
    QProcess process;
    StartCli(process, On(sim, c.words));
    ASSERT_TRUE(WaitForLogLine(c.readingLine));
    kill(static_cast<pid_t>(process.processId()), SIGINT);
    CliRun run = Finish(process, 10000);
    EXPECT_EQ(run.code, 130) << run.err;
    EXPECT_EQ(run.err.find("Couldn't"), std::string::npos) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("saved.dat")));
}

// A file-size limit (ulimit -f) fails the configuration's write as a full
// disk does: the same message and exit code, the file as it was, and nothing
// left beside it.
TEST_F(CliEndToEnd, AFileSizeLimitIsAWriteErrorThatKeepsTheConfiguration) {
  SimProcess& sim = StartSim({});
  const std::string kept = "HDG             0x00000005\r\n";
  WriteFile(dir.File("unit.dat"), kept);
  std::set<std::string> before = Names();
  QProcess process;
  process.setWorkingDirectory(QString::fromStdString(dir.Path()));
  std::vector<std::string> words = On(sim, {"--log", "/dev/null", "read-config", "unit.dat"});
  words.insert(words.begin(), {"-c", "ulimit -f 1; exec \"$0\" \"$@\"", RV4410_CLI_PATH});
  process.start("bash", ToQt(words));
  ASSERT_TRUE(process.waitForStarted());
  CliRun run = Finish(process, 120000);
  // What a full disk gives: the list not written whole, the read failed.
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_NE(run.err.find("File Write error"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(dir.File("unit.dat")), kept);
  EXPECT_EQ(Names(), before);
}

TEST_F(CliEndToEnd, IdentifyPrintsTheUnitsFieldsAndFreeMapMemory) {
  SimProcess& sim = StartSim({"--map-area-start", "0x100000", "--map-area-end", "0x180000"});
  CliRun run = Run(On(sim, {"--json", "identify"}));
  ASSERT_EQ(run.code, 0) << run.err;
  bool found = false;
  for (const QJsonObject& object : JsonLines(run.out)) {
    if (object["type"] != "identification") continue;
    found = true;
    EXPECT_EQ(object["mapAreaStart"].toInteger(), 0x100000);
    EXPECT_EQ(object["freeMapMemory"].toInteger(), 0x80000);
  }
  EXPECT_TRUE(found) << run.out;
}

// The line of the port the named COM reaches, or empty.
std::string PortRow(const std::string& listing, const std::string& com) {
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(com + "\t", 0) == 0) return line;
  }
  return {};
}

TEST_F(CliEndToEnd, PortsListsEachDeviceWithItsState) {
  SimProcess& sim = StartSim({});
  sim.BindTo("COM3");
  // A terminal that no process has open: nothing stands in its way.
  int idle = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(idle, 0);
  ASSERT_EQ(grantpt(idle), 0);
  ASSERT_EQ(unlockpt(idle), 0);
  std::string idlePath = ptsname(idle);
  setenv("RV4410_COM4", idlePath.c_str(), 1);
  CliRun run = Run({"ports"});
  unsetenv("RV4410_COM3");
  unsetenv("RV4410_COM4");
  close(idle);
  ASSERT_EQ(run.code, 0) << run.err;
  std::string simRow = PortRow(run.out, "COM3");
  std::string idleRow = PortRow(run.out, "COM4");
  EXPECT_EQ(simRow.rfind("COM3\t" + sim.Path() + "\t", 0), 0u) << run.out;
  // The simulator keeps the far end of its terminal open, and is named.
  EXPECT_NE(simRow.find("\tin use by rv4410-sim ("), std::string::npos) << run.out;
  EXPECT_EQ(idleRow.rfind("COM4\t" + idlePath + "\t", 0), 0u) << run.out;
  EXPECT_EQ(idleRow.substr(idleRow.rfind('\t') + 1), "free") << run.out;
}

TEST_F(CliEndToEnd, ConfigurationReadAndWrittenBackWithJsonLines) {
  SimProcess& sim = StartSim({"--params-out", dir.File("params-out")});
  CliRun read = Run(On(sim, {"--json", "read-config", "unit.dat"}));
  ASSERT_EQ(read.code, 0) << read.err;
  std::string saved = ReadFile(dir.File("unit.dat"));
  EXPECT_NE(saved.find("Swap Reason"), std::string::npos);
  std::vector<QJsonObject> lines = JsonLines(read.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back()["type"], "result");
  EXPECT_EQ(lines.back()["exit"].toInt(), 0);
  // JSON has every line: the phases and the log's lines as well.
  std::vector<std::string> phases;
  int logLines = 0;
  for (const QJsonObject& object : lines) {
    if (object["type"] == "phase") phases.push_back(object["phase"].toString().toStdString());
    logLines += object["type"] == "log" ? 1 : 0;
  }
  EXPECT_EQ(phases, (std::vector<std::string>{"finding unit", "reading configuration"}));
  EXPECT_GT(logLines, 100);

  CliRun write = Run(On(sim, {"write-config", "unit.dat"}));
  EXPECT_EQ(write.code, 0) << write.err;
  EXPECT_EQ(write.out, "Done.\n");
  EXPECT_NE(write.err.find("writing configuration...\n"), std::string::npos) << write.err;
  // A missing file is refused before the unit is looked for.
  EXPECT_EQ(Run(On(sim, {"write-config", "absent.dat"})).code, 4);
}

TEST_F(CliEndToEnd, DamagedLineReadAgainStillCompletesTheRead) {
  SimProcess& sim = StartSim({"--damage-line", "4", "--damage-kind", "char"});
  CliRun run = Run(On(sim, {"read-config", "unit.dat"}));
  EXPECT_EQ(run.code, 0) << run.err;
  // The warning was shown and answered; the read went on past it.
  EXPECT_NE(run.err.find(std::string(kParameterTransferErrorCaption) + ": "), std::string::npos)
      << run.err;
  EXPECT_NE(ReadFile(dir.File("unit.dat")).find("Swap Reason"), std::string::npos);
}

TEST_F(CliEndToEnd, WriteProgramFlashesTheImageAndKeepsTheConfiguration) {
  SimProcess& sim = StartSim({});
  Bytes image = WriteProgram("RV4410_a.hex", 256 + 8 * 1024);
  CliRun run = Run(On(sim, {"write-program", "RV4410_a.hex", "--config", "saved.dat"}));
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.File("program-out")), AsString(image));
  EXPECT_NE(ReadFile(dir.File("saved.dat")).find("Swap Reason"), std::string::npos);
}

// What each level says of one program upload: by default the phases, the
// progress and the result; the log's lines only with -v; -q the result alone.
TEST_F(CliEndToEnd, OutputLevelsSayThePhasesTheLogOrTheResultAlone) {
  SimProcess& sim = StartSim({});
  WriteProgram("RV4410_a.hex", 256 + 4 * 1024);
  const std::vector<std::string> phaseLines{"finding unit...\n",    "reading configuration...\n",
                                            "sending program...\n", "sending program 100% ",
                                            "writing flash...\n",   "restoring configuration...\n"};
  struct Level {
    const char* option;
    bool phases;
    bool log;
  } levels[] = {{nullptr, true, false}, {"-v", true, true}, {"-q", false, false}};
  for (const Level& level : levels) {
    SCOPED_TRACE(level.option ? level.option : "default");
    std::vector<std::string> words{"write-program", "RV4410_a.hex", "--config", "saved.dat"};
    if (level.option) words.insert(words.begin(), level.option);
    CliRun run = Run(On(sim, words));
    ASSERT_EQ(run.code, 0) << run.err;
    // The result is the last line at every level; standard output has
    // nothing else unless the log's lines were asked for.
    ASSERT_GE(run.out.size(), 6u);
    EXPECT_EQ(run.out.substr(run.out.size() - 6), "Done.\n");
    EXPECT_EQ(run.out.find("Unit sent '") != std::string::npos, level.log) << run.out;
    EXPECT_EQ(run.out.find("Communications ready") != std::string::npos, level.log);
    if (!level.log) {
      EXPECT_EQ(run.out, "Done.\n");
    }
    // The phases in their order; the progress names its phase, not a status text.
    std::size_t at = 0;
    for (const std::string& line : phaseLines) {
      std::size_t found = run.err.find(line, at);
      EXPECT_EQ(found != std::string::npos, level.phases) << line << run.err;
      if (found != std::string::npos) at = found;
    }
    EXPECT_EQ(run.err.find("Baud Rate"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Unit sent"), std::string::npos) << run.err;
    // The loader resets a unit that identified itself.
    EXPECT_EQ(run.err.find("Unit needs to be reset"), std::string::npos) << run.err;
    if (!level.phases) {
      EXPECT_EQ(run.err, "");
    }
  }
}

TEST_F(CliEndToEnd, WriteProgramToAUnitWithoutIdentificationStreamsTheImage) {
  SimProcess& sim = StartSim({"--no-identification"});
  Bytes image = WriteProgram("RV4410_raw.hex", 256 + 4 * 1024, 3);
  CliRun run = Run(On(sim, {"write-program", "RV4410_raw.hex", "--config", "saved.dat"}));
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(dir.File("program-out")), AsString(image));
  // The log's request for a reset by hand reaches the terminal too.
  EXPECT_NE(run.err.find("\nUnit needs to be reset to restore the configuration\n"),
            std::string::npos)
      << run.err;
}

TEST_F(CliEndToEnd, FailedFlashWriteExitsOneAfterTheRetriesAllowed) {
  SimProcess& sim = StartSim({"--flash-fail", "X"});
  WriteProgram("RV4410_a.hex", 256 + 1024);
  CliRun plain = Run(On(sim, {"write-program", "RV4410_a.hex", "--config", "saved.dat"}));
  EXPECT_EQ(plain.code, 1) << plain.err;
  // Quiet still says the error and the result.
  CliRun quiet = Run(On(sim, {"-q", "write-program", "RV4410_a.hex", "--config", "saved.dat"}));
  EXPECT_EQ(quiet.code, 1) << quiet.err;
  EXPECT_EQ(quiet.out, "Failed: the operation failed\n");
  EXPECT_EQ(quiet.err.rfind(std::string(kErrorCaption) + ": ", 0), 0u) << quiet.err;
  EXPECT_NE(quiet.err.find("Try again? -> No"), std::string::npos) << quiet.err;
  EXPECT_EQ(quiet.err.find("finding unit"), std::string::npos) << quiet.err;

  CliRun retried = Run(On(sim, {"--json", "--yes", "--retries", "1", "write-program",
                                "RV4410_a.hex", "--config", "saved.dat"}));
  EXPECT_EQ(retried.code, 1);
  std::vector<std::string> answers;
  for (const QJsonObject& object : JsonLines(retried.out)) {
    if (object["type"] == "box" && object["caption"] == "Error") {
      answers.push_back(object["answer"].toString().toStdString());
    }
  }
  EXPECT_EQ(answers, (std::vector<std::string>{"Yes", "No"}));
}

TEST_F(CliEndToEnd, RefusedInputsMissingPortsAndSilentUnitsHaveTheirOwnCodes) {
  WriteFile(dir.File("bad.hex"), "this is not a program\n");
  SimProcess& sim = StartSim({"--silent"});
  EXPECT_EQ(Run(On(sim, {"write-program", "bad.hex"})).code, 4);

  CliRun missing = Run({"-p", "/dev/rv4410-no-such-port", "identify"});
  EXPECT_EQ(missing.code, 3);
  EXPECT_NE(missing.err.find("no such device"), std::string::npos) << missing.err;

  QElapsedTimer clock;
  clock.start();
  CliRun silent = Run({"-p", sim.Path(), "--wait", "2", "identify"});
  EXPECT_EQ(silent.code, 5);
  EXPECT_LT(clock.elapsed(), 10000);
}

TEST_F(CliEndToEnd, ExpiredMapStopsUnlessDatesAreAccepted) {
  SimProcess& sim = StartSim({"--map-out", dir.File("map-out")});
  MapFilePlan plan;
  plan.effectiveDate = 20001;
  plan.expirationDate = 21001;
  plan.data = PatternBytes(2048, 5);
  Bytes map = BuildMapFile(plan);
  WriteFile(dir.File("old.bin"), AsString(map));
  EXPECT_EQ(Run(On(sim, {"write-map", "old.bin"})).code, 4);
  CliRun accepted = Run(On(sim, {"--accept-dates", "write-map", "old.bin"}));
  EXPECT_EQ(accepted.code, 0) << accepted.err;
  std::size_t sending = accepted.err.find("sending map...\n");
  EXPECT_NE(sending, std::string::npos) << accepted.err;
  EXPECT_NE(accepted.err.find("sending map 100% "), std::string::npos) << accepted.err;
  EXPECT_NE(accepted.err.find("writing flash...\n", sending), std::string::npos) << accepted.err;
  EXPECT_EQ(ReadFile(dir.File("map-out")).size(), plan.data.size());
}

TEST_F(CliEndToEnd, InterruptDuringProgramUploadExits130WithTheConfigurationIntact) {
  SimProcess& sim = StartSim({});
  WriteProgram("RV4410_big.hex", 256 + 128 * 1024);
  QProcess process;
  StartCli(process, On(sim, {"write-program", "RV4410_big.hex", "--config", "saved.dat"}));
  // Interrupts once the data is on its way.
  QElapsedTimer clock;
  clock.start();
  std::string err;
  while (err.find("10%") == std::string::npos && clock.elapsed() < 60000) {
    process.waitForReadyRead(100);
    err += process.readAllStandardError().toStdString();
  }
  ASSERT_NE(err.find("10%"), std::string::npos) << err;
  std::string saved = ReadFile(dir.File("saved.dat"));
  kill(static_cast<pid_t>(process.processId()), SIGINT);
  ASSERT_TRUE(process.waitForFinished(30000));
  EXPECT_EQ(process.exitCode(), 130);
  EXPECT_FALSE(saved.empty());
  EXPECT_EQ(ReadFile(dir.File("saved.dat")), saved);
  // The port is free again: the unit can be found at once.
  EXPECT_EQ(Run(On(sim, {"identify"})).code, 0);
}

// Two scripts read two units into one file name at the same moment: each
// run puts its own whole list in place or says it did not, and the file
// and its numbered copies hold both lists, never a mixture or a lost one.
TEST_F(CliEndToEnd, TwoReadsIntoOneFileNameAtOnceKeepBothWholeLists) {
  SimProcess& a = StartSim({"--serial-number", "1001"}, "a");
  SimProcess& b = StartSim({"--serial-number", "2002"}, "b");
  constexpr int kRounds = 6;
  int done = 0;
  for (int round = 0; round < kRounds; ++round) {
    QProcess first;
    QProcess second;
    StartCli(first, On(a, {"--log", "a.LOG", "read-config", "unit.dat"}));
    StartCli(second, On(b, {"--log", "b.LOG", "read-config", "unit.dat"}));
    ASSERT_TRUE(first.waitForFinished(60000));
    ASSERT_TRUE(second.waitForFinished(60000));
    for (QProcess* process : {&first, &second}) {
      std::string err = process->readAllStandardError().toStdString();
      EXPECT_EQ(process->exitCode(), 0) << err;
      done += process->exitCode() == 0 ? 1 : 0;
    }
  }
  // Every file is one unit's whole list, and each unit's list is there once per read.
  std::map<std::string, std::string> listOf;  // serial line -> the list
  std::map<std::string, int> copies;
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find(".partial"), std::string::npos) << name;
    if (name.rfind("unit.dat", 0) != 0) continue;
    ++files;
    std::string list = ReadFile(entry.path().string());
    std::size_t serial = list.find("PTEST Sernum    0x");
    ASSERT_NE(serial, std::string::npos) << name << ":\n" << list;
    std::string key = list.substr(serial, 26);
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 138) << name;
    EXPECT_NE(list.find("Swap Reason"), std::string::npos) << name;
    if (!listOf.count(key)) listOf[key] = list;
    EXPECT_EQ(list, listOf[key]) << name;
    ++copies[key];
  }
  EXPECT_EQ(files, done);
  EXPECT_EQ(copies["PTEST Sernum    0x000003E9"], kRounds);
  EXPECT_EQ(copies["PTEST Sernum    0x000007D2"], kRounds);
}

// A program upload killed after its flash write, before the configuration
// went back, on a unit that forgets its configuration when flashed: the
// next run with the same file writes back the list saved before, and a
// read into that file in between does not replace it.
TEST_F(CliEndToEnd, RestoreLeftUndoneByAKilledUploadIsDoneByTheNextRun) {
  // The unit stays deaf for 4 s after the flash write: the kill lands there.
  SimProcess& sim = StartSim({"--forget-configuration", "--restart-ms", "4000"});
  WriteProgram("RV4410_a.hex", 256 + 4 * 1024);
  const std::vector<std::string> command =
      On(sim, {"write-program", "RV4410_a.hex", "--config", "saved.dat"});
  QProcess killed;
  StartCli(killed, command);
  QElapsedTimer clock;
  clock.start();
  while (ReadFile(dir.File("journal")).find(" forget-configuration") == std::string::npos &&
         clock.elapsed() < 60000) {
    killed.waitForFinished(20);
  }
  ASSERT_EQ(killed.state(), QProcess::Running) << ReadFile(dir.File("journal"));
  kill(static_cast<pid_t>(killed.processId()), SIGKILL);
  ASSERT_TRUE(killed.waitForFinished(10000));
  const std::string before = ReadFile(dir.File("saved.dat"));
  ASSERT_NE(before.find("PTEST Sernum    0x0006BABF"), std::string::npos) << before;
  EXPECT_TRUE(std::filesystem::exists(dir.File("saved.dat.restore-pending")));
  // The unit restarts with every value erased.
  QThread::msleep(4000);

  CliRun read = Run(On(sim, {"read-config", "saved.dat"}));
  EXPECT_EQ(read.code, 4) << read.err;
  EXPECT_NE(read.err.find("is still to be written back"), std::string::npos) << read.err;
  EXPECT_EQ(ReadFile(dir.File("saved.dat")), before);

  CliRun again = Run(command);
  EXPECT_EQ(again.code, 0) << again.out << again.err;
  EXPECT_NE(again.err.find("stopped after its flash write"), std::string::npos) << again.err;
  EXPECT_EQ(ReadFile(dir.File("saved.dat")), before);
  EXPECT_FALSE(std::filesystem::exists(dir.File("saved.dat.restore-pending")));
  // What the unit holds now is the list saved before the first attempt.
  ASSERT_EQ(Run(On(sim, {"read-config", "after.dat"})).code, 0);
  EXPECT_EQ(ReadFile(dir.File("after.dat")), before);
}

// With a restore pending for the file, another unit is refused by its
// serial number; one without a serial number needs --restore.
TEST_F(CliEndToEnd, PendingRestoreIsNeverWrittenIntoAnotherUnit) {
  SimProcess& first = StartSim({"--serial-number", "1001"}, "a");
  WriteProgram("RV4410_a.hex", 256 + 1024);
  ASSERT_EQ(Run(On(first, {"read-config", "saved.dat"})).code, 0);
  const std::string saved = ReadFile(dir.File("saved.dat"));
  // As a run leaves it when it ends after its flash write.
  RecordPendingRestore("saved.dat");

  SimProcess& other = StartSim({"--serial-number", "2002"}, "b");
  CliRun refused = Run(On(other, {"write-program", "RV4410_a.hex", "--config", "saved.dat"}));
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("This is not the unit"), std::string::npos) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("program-outb")));

  SimProcess& unnumbered = StartSim({"--serial-number", "0"}, "c");
  CliRun asked = Run(On(unnumbered, {"write-program", "RV4410_a.hex", "--config", "saved.dat"}));
  EXPECT_EQ(asked.code, 1);
  EXPECT_NE(asked.err.find("--restore saved"), std::string::npos) << asked.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("program-outc")));
  EXPECT_EQ(ReadFile(dir.File("saved.dat")), saved);

  CliRun own = Run(On(
      unnumbered, {"write-program", "RV4410_a.hex", "--config", "saved.dat", "--restore", "unit"}));
  EXPECT_EQ(own.code, 0) << own.err;
  EXPECT_NE(ReadFile(dir.File("saved.dat")).find("PTEST Sernum    0x00000000"), std::string::npos);
  EXPECT_EQ(ReadFile(dir.File("saved.dat.1")), saved);
  EXPECT_FALSE(std::filesystem::exists(dir.File("saved.dat.restore-pending")));
}

// A unit that holds no configuration: refused without --no-config-ok, and
// programmed with it, the configuration file never replaced by nothing.
TEST_F(CliEndToEnd, UnitWithAnEmptyListIsProgrammedOnlyWithNoConfigOk) {
  SimProcess& sim = StartSim({"--empty-list"});
  Bytes image = WriteProgram("RV4410_a.hex", 256 + 2 * 1024);
  WriteFile(dir.File("saved.dat"), "HDG             0x00000005\r\n");
  CliRun refused = Run(On(sim, {"write-program", "RV4410_a.hex", "--config", "saved.dat"}));
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("--no-config-ok"), std::string::npos) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("program-out")));

  CliRun allowed =
      Run(On(sim, {"write-program", "RV4410_a.hex", "--config", "saved.dat", "--no-config-ok"}));
  EXPECT_EQ(allowed.code, 0) << allowed.err;
  EXPECT_EQ(ReadFile(dir.File("program-out")), AsString(image));
  EXPECT_EQ(ReadFile(dir.File("saved.dat")), "HDG             0x00000005\r\n");
  EXPECT_EQ(FileCount(".restore-pending"), 0);
  // The restore is the exchange with no parameter line: its offer and its end.
  std::string journal = ReadFile(dir.File("journal"));
  std::size_t offer = journal.rfind(" command WX");
  ASSERT_NE(offer, std::string::npos);
  std::istringstream after(journal.substr(offer));
  std::string line;
  std::getline(after, line);
  std::getline(after, line);
  EXPECT_EQ(line.substr(line.find(' ') + 1), "command") << journal.substr(offer);
}

TEST_F(CliEndToEnd, ThreeUnitsAtOnceEachGetTheWholeImage) {
  SimProcess& a = StartSim({}, "a");
  SimProcess& b = StartSim({}, "b");
  SimProcess& c = StartSim({}, "c");
  Bytes image = WriteProgram("RV4410_m.hex", 256 + 8 * 1024, 9);
  CliRun run = Run({"-p", a.Path(), "-p", b.Path(), "-p", c.Path(), "-b", "115200", "--json",
                    "write-program", "RV4410_m.hex", "--config", "unit.dat"});
  ASSERT_EQ(run.code, 0) << run.out << run.err;
  int summaries = 0;
  for (const QJsonObject& object : JsonLines(run.out)) {
    EXPECT_TRUE(object.contains("port"));
    if (object["type"] == "summary") ++summaries;
  }
  EXPECT_EQ(summaries, 3);
  for (const char* tag : {"a", "b", "c"}) {
    EXPECT_EQ(ReadFile(dir.File(std::string("program-out") + tag)), AsString(image)) << tag;
  }
}

// The simulator's journal lines of `event` ("command") with `detail` ("RP").
int JournalCount(const std::string& journal, const std::string& entry) {
  std::istringstream lines(ReadFile(journal));
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    std::size_t space = line.find(' ');
    if (space != std::string::npos && line.compare(space + 1, std::string::npos, entry) == 0) {
      ++count;
    }
  }
  return count;
}

int BoxCount(const std::string& jsonLines) {
  int boxes = 0;
  for (const QJsonObject& object : JsonLines(jsonLines)) boxes += object["type"] == "box" ? 1 : 0;
  return boxes;
}

TEST_F(CliEndToEnd, ReadHeldUpThreeTimesStillReadsTheWholeListAtTheFirstRequest) {
  // A busy PC: the loader is stopped three times for 200 ms while the unit
  // goes on sending its list at 9600 baud. What arrived meanwhile was on time.
  std::string journal = dir.File("journal");
  sims.push_back(std::make_unique<SimProcess>(
      std::vector<std::string>{"--no-checked-exchange", "--journal", journal}));
  SimProcess& sim = *sims.back();
  ASSERT_TRUE(sim.Started());
  CliRun calm = Run({"-p", sim.Path(), "--wait", "10", "read-config", "calm.dat"});
  ASSERT_EQ(calm.code, 0) << calm.err;

  QProcess process;
  StartCli(process, {"-p", sim.Path(), "--wait", "10", "--json", "read-config", "held.dat"});
  QElapsedTimer clock;
  clock.start();
  while (JournalCount(journal, "command RP") < 2 && clock.elapsed() < 30000) QThread::msleep(5);
  auto pid = static_cast<pid_t>(process.processId());
  for (int hold = 0; hold < 3; ++hold) {
    QThread::msleep(300);
    kill(pid, SIGSTOP);
    QThread::msleep(200);
    kill(pid, SIGCONT);
  }
  ASSERT_TRUE(process.waitForFinished(60000));
  std::string out = process.readAllStandardOutput().toStdString();
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  EXPECT_EQ(BoxCount(out), 0) << out;
  EXPECT_EQ(JournalCount(journal, "command RP"), 2);
  EXPECT_EQ(ReadFile(dir.File("held.dat")), ReadFile(dir.File("calm.dat")));
}

TEST_F(CliEndToEnd, APortAnotherProgramHoldsIsLeftAloneAndItsHolderNamed) {
  SimProcess& sim = StartSim({});
  QProcess holder;
  // flock(1) holds the lock itself, not the command it runs (--close).
  holder.start("flock",
               {"--exclusive", "--close", QString::fromStdString(sim.Path()), "sleep", "30"});
  ASSERT_TRUE(holder.waitForStarted());
  // Until flock(1) has taken the lock, a lock of ours is granted.
  int probe = open(sim.Path().c_str(), O_RDONLY | O_NOCTTY);
  ASSERT_GE(probe, 0);
  QElapsedTimer clock;
  clock.start();
  while (flock(probe, LOCK_EX | LOCK_NB) == 0 && clock.elapsed() < 10000) {
    flock(probe, LOCK_UN);
    QThread::msleep(5);
  }
  close(probe);

  CliRun held = Run(On(sim, {"identify"}));
  EXPECT_EQ(held.code, 3) << held.err;
  EXPECT_NE(held.err.find(FormatText("in use by process %lld (flock)",
                                     static_cast<long long>(holder.processId()))),
            std::string::npos)
      << held.err;
  EXPECT_EQ(ReadFile(dir.File("journal")).find(" command "), std::string::npos);

  holder.kill();
  holder.waitForFinished();
  EXPECT_EQ(Run(On(sim, {"identify"})).code, 0);
}

TEST_F(CliEndToEnd, UnitAt1200HearsTheResetAfterAWriteFromAPortThatStoodAt9600) {
  // Closing hands the port back at the speed it stood at before the loader
  // opened it; "RESET" must be on the wire before that.
  std::string journal = dir.File("journal");
  sims.push_back(std::make_unique<SimProcess>(
      std::vector<std::string>{"--speed", "1200", "--journal", journal}));
  SimProcess& sim = *sims.back();
  ASSERT_TRUE(sim.Started());
  int terminal = open(sim.Path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  termios settings{};
  ASSERT_EQ(tcgetattr(terminal, &settings), 0);
  cfsetspeed(&settings, B9600);
  ASSERT_EQ(tcsetattr(terminal, TCSANOW, &settings), 0);
  close(terminal);
  WriteFile(dir.File("unit.dat"), "HDG             0x00000167\r\nSwap Reason     0xFFFFFFFE\r\n");

  CliRun run = Run({"-p", sim.Path(), "--wait", "20", "write-config", "unit.dat"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(JournalCount(journal, "command RESET"), 1) << ReadFile(journal);
}

TEST_F(CliEndToEnd, AUnitSwappedInDuringTheRestartGetsNothingAndTheRunFails) {
  // COM1 is a link to unit A's terminal, as udev makes /dev/ttyUSB0. A hangs
  // up after its flash write; B then appears at the same path.
  SimProcess& a = StartSim({"--hang-up-at", "restart"}, "a");
  std::string unitB = dir.File("unit-b.dat");
  WriteFile(unitB, "HDG             0x00000042\r\nSwap Reason     0x00000007\r\n");
  // B at 9600, where the handshake looks for a unit that restarted.
  sims.push_back(std::make_unique<SimProcess>(
      std::vector<std::string>{"--params-in", unitB, "--params-out", dir.File("params-b"),
                               "--journal", dir.File("journalb")}));
  SimProcess& b = *sims.back();
  ASSERT_TRUE(b.Started());
  std::string com1 = dir.File("ttyUSB0");
  ASSERT_EQ(symlink(a.Path().c_str(), com1.c_str()), 0);
  setenv("RV4410_COM1", com1.c_str(), 1);
  WriteProgram("RV4410_a.hex", 256 + 2 * 1024);

  QProcess process;
  StartCli(process, {"-p", "COM1", "-b", "115200", "--wait", "10", "--json", "write-program",
                     "RV4410_a.hex", "--config", "saved.dat"});
  QElapsedTimer clock;
  clock.start();
  while (JournalCount(dir.File("journala"), "hang-up restart") == 0 && clock.elapsed() < 60000 &&
         process.state() != QProcess::NotRunning) {
    QThread::msleep(5);
  }
  std::string moved = dir.File("ttyUSB0.new");
  ASSERT_EQ(symlink(b.Path().c_str(), moved.c_str()), 0);
  ASSERT_EQ(rename(moved.c_str(), com1.c_str()), 0);
  ASSERT_TRUE(process.waitForFinished(60000));
  unsetenv("RV4410_COM1");
  std::string out = process.readAllStandardOutput().toStdString();

  EXPECT_EQ(process.exitCode(), 1) << out;
  EXPECT_NE(out.find("went away"), std::string::npos) << out;
  b.Stop();
  for (const char* command : {"command WX", "command WP", "command RESET"}) {
    EXPECT_EQ(JournalCount(dir.File("journalb"), command), 0) << command;
  }
  EXPECT_EQ(ReadFile(dir.File("params-b")), ReadFile(unitB));
}

// Waits until the simulator's journal holds `text`, or the process has ended.
bool WaitForJournal(const std::string& journal, const std::string& text, const QProcess& process,
                    int limitMs = 60000) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < limitMs) {
    if (ReadFile(journal).find(text) != std::string::npos) return true;
    if (process.state() == QProcess::NotRunning) return false;
    QThread::msleep(5);
  }
  return false;
}

// The unit unplugged while the loader waits for it: after its flash write's
// "Begin erase", while it restarts, and in the middle of the restore. The run
// ends within moments of the hang-up, not after the wait's limit.
TEST_F(CliEndToEnd, ALineThatGoesAwayDuringAWaitEndsTheRunAtOnceWithExitOne) {
  WriteProgram("RV4410_a.hex", 256 + 2 * 1024);
  for (const char* phase : {"flash", "restart", "restore"}) {
    SCOPED_TRACE(phase);
    SimProcess& sim = StartSim({"--hang-up-at", phase}, phase);
    std::string config = std::string("saved-") + phase + ".dat";
    QProcess process;
    StartCli(process, On(sim, {"write-program", "RV4410_a.hex", "--config", config}));
    ASSERT_TRUE(WaitForJournal(dir.File(std::string("journal") + phase), " hang-up ", process));
    QElapsedTimer sinceHangUp;
    sinceHangUp.start();
    CliRun run = Finish(process, 60000);
    EXPECT_LT(sinceHangUp.elapsed(), 2000);
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_NE(run.err.find("went away"), std::string::npos) << run.err;
  }
}

// A unit that does not come back after its flash write: the handshake that
// looks for it gives up when --wait has passed, naming the step, and the
// restore stays recorded for the next run.
TEST_F(CliEndToEnd, AUnitThatStaysSilentAfterItsRestartEndsTheRunWithinTheWait) {
  sims.push_back(std::make_unique<SimProcess>(std::vector<std::string>{
      "--speed", "115200", "--program-erase-ms", "100", "--restart-ms", "600000"}));
  SimProcess& sim = *sims.back();
  ASSERT_TRUE(sim.Started());
  WriteProgram("RV4410_a.hex", 256 + 2 * 1024);
  CliRun run = Run({"-p", sim.Path(), "-b", "115200", "--wait", "3", "write-program",
                    "RV4410_a.hex", "--config", "saved.dat"},
                   60000);
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_NE(run.err.find(FormatText(kNoAnswerWithinFormat, 3LL, kStepAfterRestart)),
            std::string::npos)
      << run.err;
  EXPECT_EQ(FileCount(kPendingRestoreSuffix), 1);
}

// A unit that damages the same line at every read: the restarts end when
// --wait has passed, and the run fails saying why; the file is not made.
TEST_F(CliEndToEnd, AReadDamagedAtEveryAttemptEndsWithinTheWait) {
  SimProcess& sim = StartSim({"--damage-line", "4", "--damage-attempts", "100000"});
  QElapsedTimer clock;
  clock.start();
  CliRun run =
      Run({"-p", sim.Path(), "-b", "115200", "--wait", "3", "read-config", "unit.dat"}, 60000);
  EXPECT_LT(clock.elapsed(), 3000 + 5000);
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_NE(run.err.find(FormatText(kRestartsRanOutFormat, 3LL)), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("unit.dat")));
}

// SIGINT while a long list goes to the unit: the write stops between two
// lines, and the run ends with 130 without working through the rest.
TEST_F(CliEndToEnd, InterruptDuringALongConfigurationWriteExits130AtOnce) {
  SimProcess& sim = StartSim({});
  std::string list;
  for (int i = 0; i < 20000; ++i) list += "HDG             0x0000010E\r\n";
  WriteFile(dir.File("long.dat"), list);
  QProcess process;
  StartCli(process, On(sim, {"write-config", "long.dat"}));
  ASSERT_TRUE(WaitForJournal(dir.File("journal"), " command WX", process));
  QThread::msleep(500);
  ASSERT_EQ(process.state(), QProcess::Running);
  QElapsedTimer sinceSignal;
  sinceSignal.start();
  kill(static_cast<pid_t>(process.processId()), SIGINT);
  CliRun run = Finish(process, 30000);
  EXPECT_LT(sinceSignal.elapsed(), 1000);
  EXPECT_EQ(run.code, 130) << run.err;
  EXPECT_EQ(JournalCount(dir.File("journal"), "command RESET"), 0);
  std::string log = ReadFile(dir.File("Loader.LOG"));
  std::size_t lines = 0;
  for (std::size_t at = log.find("HDG"); at != std::string::npos; at = log.find("HDG", at + 1)) {
    ++lines;
  }
  EXPECT_LT(lines, 20000u);
}

}  // namespace
}  // namespace rv4410::test
