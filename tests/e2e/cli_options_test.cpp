// The command line's parsing and the names each unit's files get when
// several units run at once.

#include <gtest/gtest.h>

#include <algorithm>

#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/multi_port.h"

namespace rv4410 {
namespace {

ParseOutcome Parse(const std::vector<const char*>& words, CliOptions& options, std::string& error) {
  std::vector<std::string> arguments{"rv4410"};
  arguments.insert(arguments.end(), words.begin(), words.end());
  return ParseCliArguments(arguments, options, error);
}

TEST(CliOptions, PortsRepeatAndTheDefaultsMatchTheWizard) {
  CliOptions options;
  std::string error;
  ASSERT_EQ(Parse({"-p", "COM2", "--port", "/dev/ttyUSB0", "--yes", "write-program", "a.hex",
                   "--config", "c.dat"},
                  options, error),
            ParseOutcome::kRun)
      << error;
  EXPECT_EQ(options.ports, (std::vector<std::string>{"COM2", "/dev/ttyUSB0"}));
  EXPECT_EQ(options.command, CliCommand::kWriteProgram);
  EXPECT_EQ(options.file, "a.hex");
  EXPECT_EQ(options.configFile, "c.dat");
  EXPECT_TRUE(options.rules.yes);
  EXPECT_EQ(options.rules.retries, 3);
  EXPECT_EQ(options.baud, 9600);
  EXPECT_EQ(options.waitSeconds, 60);

  CliOptions plain;
  ASSERT_EQ(Parse({"identify"}, plain, error), ParseOutcome::kRun);
  EXPECT_EQ(plain.ports, (std::vector<std::string>{"COM1"}));
  EXPECT_EQ(plain.rules.restore, RestoreRule::kNone);
  EXPECT_FALSE(plain.rules.noConfigOk);
  EXPECT_EQ(plain.verbosity, Verbosity::kNormal);
  for (const auto& [word, level] : {std::pair{"-q", Verbosity::kQuiet},
                                    {"--quiet", Verbosity::kQuiet},
                                    {"-v", Verbosity::kVerbose},
                                    {"--verbose", Verbosity::kVerbose}}) {
    CliOptions leveled;
    ASSERT_EQ(Parse({word, "identify"}, leveled, error), ParseOutcome::kRun) << word;
    EXPECT_EQ(leveled.verbosity, level) << word;
  }

  for (const char* which : {"saved", "unit"}) {
    CliOptions program;
    ASSERT_EQ(
        Parse({"--restore", which, "--no-config-ok", "write-program", "a.hex"}, program, error),
        ParseOutcome::kRun)
        << error;
    EXPECT_EQ(program.rules.restore,
              std::string(which) == "saved" ? RestoreRule::kSaved : RestoreRule::kUnit);
    EXPECT_TRUE(program.rules.noConfigOk);
  }

  // A single dash names a long option too; a value is the next word, dash or
  // not; after "--" every word is an argument.
  CliOptions odd;
  ASSERT_EQ(
      Parse({"-port", "COM3", "--log", "-odd.LOG", "read-config", "--", "-unit.dat"}, odd, error),
      ParseOutcome::kRun)
      << error;
  EXPECT_EQ(odd.ports, (std::vector<std::string>{"COM3"}));
  EXPECT_EQ(odd.logFile, "-odd.LOG");
  EXPECT_EQ(odd.file, "-unit.dat");
}

TEST(CliOptions, BadValuesAndMisplacedFilesAreUsageErrors) {
  for (const std::vector<const char*>& words :
       std::vector<std::vector<const char*>>{{"--baud", "0", "identify"},
                                             {"--wait", "-1", "identify"},
                                             {"--retries", "x", "identify"},
                                             {"read-config"},
                                             {"ports", "extra"},
                                             {"--config", "c.dat", "write-map", "m.bin"},
                                             {"--restore", "mine", "write-program", "a.hex"},
                                             {"--restore", "saved", "read-config", "c.dat"},
                                             {"--no-config-ok", "write-config", "c.dat"},
                                             {"--frobnicate", "identify"},
                                             {"read-config", ""},
                                             {"write-program", "a.hex", "--config", ""},
                                             {"--log", "", "identify"},
                                             {"-q", "-v", "identify"},
                                             {"--yes=1", "identify"},
                                             {"--=x", "identify"},
                                             {"identify", "--port"}}) {
    CliOptions options;
    std::string error;
    EXPECT_EQ(Parse(words, options, error), ParseOutcome::kError) << words.front();
    EXPECT_FALSE(error.empty());
  }
  // Scripts have matched these words.
  CliOptions options;
  std::string error;
  Parse({"--frobnicate", "-x", "identify"}, options, error);
  EXPECT_EQ(error, "Unknown options: frobnicate, x.");
  Parse({"identify", "-b"}, options, error);
  EXPECT_EQ(error, "Missing value after '-b'.");
}

// The exit code is the ending's: it takes no text of the run at all, so a
// changed status text, box or log line cannot change it. The codes are the
// ones scripts are told of.
TEST(CliExitCode, FollowsFromTheEndingAndWhereItCameAlone) {
  struct Row {
    Ending ending;
    int findingUnit;
    int operation;
  };
  const Row rows[] = {
      {Ending::kDone, kExitFailed, kExitDone},
      {Ending::kCancelled, kExitInterrupted, kExitInterrupted},
      {Ending::kLineGone, kExitFailed, kExitFailed},
      {Ending::kNoAnswer, kExitNoUnit, kExitFailed},
      {Ending::kUnitError, kExitFailed, kExitFailed},
      {Ending::kFileRefused, kExitFileRefused, kExitFileRefused},
      {Ending::kNoPort, kExitPortNotOpened, kExitPortNotOpened},
      {Ending::kStopped, kExitFailed, kExitFailed},
      {Ending::kIncomplete, kExitFailed, kExitFailed},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.ending));
    EXPECT_EQ(ExitCodeFor(row.ending, RunStage::kFindingUnit), row.findingUnit);
    EXPECT_EQ(ExitCodeFor(row.ending, RunStage::kOperation), row.operation);
  }
}

TEST(MultiPort, EachUnitGetsItsOwnLogAndConfigurationFile) {
  EXPECT_EQ(PerPortFileName("Loader.LOG", "COM1"), "Loader-COM1.LOG");
  EXPECT_EQ(PerPortFileName("Loader.LOG", "/dev/pts/7"), "Loader-_dev_pts_7.LOG");
  EXPECT_EQ(PerPortFileName("out/unit", "COM2"), "out/unit-COM2");
  EXPECT_EQ(PerPortFileName("out.d/unit", "COM2"), "out.d/unit-COM2");

  CliOptions options;
  options.ports = {"COM1", "COM2"};
  options.command = CliCommand::kReadConfig;
  options.file = "unit.dat";
  auto contains = [](const std::vector<std::string>& words, const std::string& word) {
    return std::count(words.begin(), words.end(), word);
  };
  std::vector<std::string> arguments = ChildArguments(options, "COM2");
  EXPECT_TRUE(contains(arguments, "unit-COM2.dat"));
  EXPECT_TRUE(contains(arguments, "Loader-COM2.LOG"));
  EXPECT_EQ(contains(arguments, "--port"), 1);
  EXPECT_FALSE(contains(arguments, "--quiet") || contains(arguments, "--verbose"));

  // Each unit says as much as the whole run was asked to.
  options.verbosity = Verbosity::kVerbose;
  EXPECT_TRUE(contains(ChildArguments(options, "COM2"), "--verbose"));
  options.verbosity = Verbosity::kQuiet;
  EXPECT_TRUE(contains(ChildArguments(options, "COM2"), "--quiet"));

  // A file only read is shared.
  options.command = CliCommand::kWriteConfig;
  EXPECT_TRUE(contains(ChildArguments(options, "COM2"), "unit.dat"));

  // Every unit answers the program upload's questions by the same options.
  options.command = CliCommand::kWriteProgram;
  options.rules.restore = RestoreRule::kUnit;
  options.rules.noConfigOk = true;
  arguments = ChildArguments(options, "COM2");
  auto restore = std::find(arguments.begin(), arguments.end(), "--restore");
  ASSERT_NE(restore, arguments.end());
  EXPECT_EQ(*(restore + 1), "unit");
  EXPECT_TRUE(contains(arguments, "--no-config-ok"));
}

}  // namespace
}  // namespace rv4410
