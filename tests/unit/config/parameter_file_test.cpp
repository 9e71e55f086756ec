#include "config/parameter_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "configuration_fixture.h"
#include "failing_file_io.h"
#include "support/temp_dir.h"

namespace rv4410 {
namespace {

using test::FailingFileIo;
using test::FileNamesIn;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct ReadResult {
  std::vector<std::string> lines;
  std::vector<FileLine> kinds;
};

ReadResult ReadAll(const std::string& path) {
  ReadResult result;
  ParameterFileReader reader;
  EXPECT_TRUE(reader.Open(path));
  std::string line;
  for (FileLine kind;
       (kind = reader.ReadLine(line)) != FileLine::kEnd && kind != FileLine::kReadError;) {
    result.lines.push_back(line);
    result.kinds.push_back(kind);
  }
  return result;
}

class ParameterFileTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.File("param.dat");
};

TEST_F(ParameterFileTest, WritesEveryLineWithCarriageReturnAndLineFeed) {
  ParameterFileWriter writer;
  ASSERT_TRUE(writer.Create(path));
  EXPECT_TRUE(writer.WriteLine("ADF-1 Select    0x00000000"));
  EXPECT_TRUE(writer.WriteLine(""));
  EXPECT_EQ(writer.Lines(), 2);
  FileReplacement done = writer.Commit();
  EXPECT_TRUE(done.done);
  EXPECT_EQ(done.keptAs, "");
  EXPECT_EQ(ReadFile(path), "ADF-1 Select    0x00000000\r\n\r\n");
  EXPECT_EQ(FileNamesIn(dir.Path()), (std::vector<std::string>{"param.dat"}));
}

TEST_F(ParameterFileTest, NewContentReplacesTheFileOnlyWhenCommittedAndKeepsTheEarlierOne) {
  WriteFile(path, "first\r\n");
  ParameterFileWriter writer;
  ASSERT_TRUE(writer.Create(path));
  EXPECT_TRUE(writer.WriteLine("second"));
  // Until the commit the file is as it was; the new lines wait beside it,
  // in a file of this writer's own.
  EXPECT_EQ(ReadFile(path), "first\r\n");
  EXPECT_EQ(writer.TemporaryPath().rfind(path + ".partial-", 0), 0u) << writer.TemporaryPath();
  EXPECT_EQ(ReadFile(writer.TemporaryPath()), "second\r\n");
  FileReplacement done = writer.Commit();
  ASSERT_TRUE(done.done);
  EXPECT_EQ(done.keptAs, path + ".1");
  EXPECT_EQ(ReadFile(path), "second\r\n");
  EXPECT_EQ(ReadFile(path + ".1"), "first\r\n");

  // A numbered file is never overwritten, even one we did not make.
  WriteFile(path + ".2", "not ours\r\n");
  ASSERT_TRUE(writer.Create(path));
  EXPECT_TRUE(writer.WriteLine("third"));
  EXPECT_EQ(writer.Commit().keptAs, path + ".3");
  EXPECT_EQ(ReadFile(path), "third\r\n");
  EXPECT_EQ(ReadFile(path + ".1"), "first\r\n");
  EXPECT_EQ(ReadFile(path + ".2"), "not ours\r\n");
  EXPECT_EQ(ReadFile(path + ".3"), "second\r\n");
}

// A name at the length the folder takes leaves no room for a suffix: the
// files kept beside it get shortened names of their own, never one cut inside
// a character, and the configuration file keeps its whole name.
TEST_F(ParameterFileTest, NameAtTheFoldersLimitKeepsItsFilesBesideItUnderShortenedNames) {
  // 254 bytes: "ü" (two bytes) straddles every place a shortened name may end.
  std::string name;
  while (name.size() < 252) name += "\xC3\xBC";
  name += ".d";
  std::string longPath = dir.File(name);
  WriteFile(longPath, "first\r\n");
  ParameterFileWriter writer;
  ASSERT_TRUE(writer.Create(longPath)) << std::strerror(errno);
  EXPECT_TRUE(writer.WriteLine("second"));
  FileReplacement done = writer.Commit();
  ASSERT_TRUE(done.done) << std::strerror(done.error);
  EXPECT_EQ(ReadFile(longPath), "second\r\n");
  EXPECT_EQ(ReadFile(done.keptAs), "first\r\n");
  for (const std::string& kept :
       {SiblingName(longPath, ".1"), SiblingName(longPath, ".restore-pending"),
        SiblingName(longPath, ".partial-", 8)}) {
    std::string keptName = std::filesystem::path(kept).filename().string();
    EXPECT_LE(keptName.size(), 255u);
    EXPECT_EQ(kept.rfind(dir.Path(), 0), 0u);
    // Shortened on a character's first byte, and marked by the whole name.
    EXPECT_NE(keptName.find("\xC3\xBC~"), std::string::npos) << keptName;
    EXPECT_NE(keptName, name);
  }
  EXPECT_EQ(done.keptAs, SiblingName(longPath, ".1"));
  // Two long names that begin alike keep apart; a short one is left as it is.
  EXPECT_NE(SiblingName(longPath, ".1"), SiblingName(dir.File("x" + name.substr(1)), ".1"));
  EXPECT_EQ(SiblingName(path, ".1"), path + ".1");
  EXPECT_EQ(FileNamesIn(dir.Path()).size(), 2u);
}

TEST_F(ParameterFileTest, EmptyOrMissingFileHasNothingToKeep) {
  WriteFile(path, "");
  ParameterFileWriter writer;
  ASSERT_TRUE(writer.Create(path));
  EXPECT_TRUE(writer.WriteLine("one"));
  FileReplacement done = writer.Commit();
  EXPECT_TRUE(done.done);
  EXPECT_EQ(done.keptAs, "");
  EXPECT_EQ(FileNamesIn(dir.Path()), (std::vector<std::string>{"param.dat"}));
}

TEST_F(ParameterFileTest, DiscardedContentLeavesTheFileAsItWasAndNoTemporaryFile) {
  WriteFile(path, "kept\r\n");
  {
    ParameterFileWriter writer;
    ASSERT_TRUE(writer.Create(path));
    EXPECT_TRUE(writer.WriteLine("lost"));
    writer.Discard();
    ASSERT_TRUE(writer.Create(path));
    EXPECT_TRUE(writer.WriteLine("lost too"));
    // Destroyed without a commit, as when the read ends early.
  }
  EXPECT_EQ(ReadFile(path), "kept\r\n");
  EXPECT_EQ(FileNamesIn(dir.Path()), (std::vector<std::string>{"param.dat"}));
}

#if !defined(_WIN32)  // flock
TEST_F(ParameterFileTest, LeftoversOfCrashedRunsGoButALiveRunsTemporaryFileStays) {
  WriteFile(path, "kept\r\n");
  // Left by a run that crashed (earlier versions used the bare name), and
  // one that another run is writing now: it keeps it locked.
  WriteFile(path + ".partial", "half a list");
  WriteFile(path + ".partial-0badf00d", "half another");
  std::string live = path + ".partial-11fe0000";
  WriteFile(live, "being written");
  int fd = open(live.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  WriteFile(dir.File("param.dat.partial.txt.other"), "");
  WriteFile(dir.File("other.dat.partial-00000000"), "another file's");

  ParameterFileWriter writer;
  ASSERT_TRUE(writer.Create(path));
  std::vector<std::pair<std::string, bool>> found;
  for (const LeftoverFile& leftover : writer.Leftovers())
    found.emplace_back(leftover.path, leftover.removed);
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found,
            (std::vector<std::pair<std::string, bool>>{
                {path + ".partial", true}, {path + ".partial-0badf00d", true}, {live, false}}));
  EXPECT_TRUE(writer.WriteLine("new"));
  ASSERT_TRUE(writer.Commit().done);
  EXPECT_EQ(ReadFile(path), "new\r\n");
  EXPECT_EQ(ReadFile(live), "being written");
  close(fd);
  EXPECT_EQ(
      FileNamesIn(dir.Path()),
      (std::vector<std::string>{"other.dat.partial-00000000", "param.dat", "param.dat.1",
                                "param.dat.partial-11fe0000", "param.dat.partial.txt.other"}));
}
#endif

// Two runs writing one name at once: neither empties the other's lines,
// and each content takes its place whole, the earlier one kept.
TEST_F(ParameterFileTest, TwoWritersOfOneNameEachPutTheirOwnWholeContentInPlace) {
  ParameterFileWriter first;
  ParameterFileWriter second;
  ASSERT_TRUE(first.Create(path));
  ASSERT_TRUE(second.Create(path));
  ASSERT_EQ(second.Leftovers().size(), 1u);
  EXPECT_EQ(second.Leftovers()[0].path, first.TemporaryPath());
  EXPECT_FALSE(second.Leftovers()[0].removed);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_TRUE(first.WriteLine("first " + std::to_string(i)));
    EXPECT_TRUE(second.WriteLine("second " + std::to_string(i)));
  }
  FileReplacement a = first.Commit();
  FileReplacement b = second.Commit();
  ASSERT_TRUE(a.done);
  ASSERT_TRUE(b.done);
  EXPECT_EQ(ReadFile(path), "second 1\r\nsecond 2\r\nsecond 3\r\n");
  EXPECT_EQ(b.keptAs, path + ".1");
  EXPECT_EQ(ReadFile(path + ".1"), "first 1\r\nfirst 2\r\nfirst 3\r\n");
  EXPECT_EQ(FileNamesIn(dir.Path()), (std::vector<std::string>{"param.dat", "param.dat.1"}));
}

// Another run replacing the same file holds its lock for a moment: the
// replace waits its turn, or gives up and says so, the file untouched. The
// other run's lock is the one every replace takes, whatever the platform
// makes of it.
TEST_F(ParameterFileTest, ReplaceWaitsWhileAnotherRunHoldsTheFileAndGivesUpHonestly) {
  WriteFile(path, "theirs\r\n");
  ConfigurationFileLock theirs;
  ASSERT_EQ(theirs.Acquire(path, {}), LockTry::kLocked);
  ParameterFileWriter writer;
  ASSERT_TRUE(writer.Create(path));
  EXPECT_TRUE(writer.WriteLine("mine"));
  int waits = 0;
  CommitRules rules;
  rules.waitTurn = [&waits] { return ++waits < 3; };
  FileReplacement given = writer.Commit(rules);
  EXPECT_FALSE(given.done);
  EXPECT_TRUE(given.busy);
  EXPECT_EQ(waits, 3);
  EXPECT_EQ(ReadFile(path), "theirs\r\n");

  // The other run is done while this one waits: its turn comes.
  ASSERT_TRUE(writer.Create(path));
  EXPECT_TRUE(writer.WriteLine("mine"));
  rules.waitTurn = [&theirs] {
    theirs.Release();
    return true;
  };
  FileReplacement done = writer.Commit(rules);
  ASSERT_TRUE(done.done);
  EXPECT_EQ(ReadFile(path), "mine\r\n");
  EXPECT_EQ(ReadFile(done.keptAs), "theirs\r\n");
  // Nothing of either run is left beside the file.
  EXPECT_EQ(FileNamesIn(dir.Path()), (std::vector<std::string>{"param.dat", "param.dat.1"}));
}

TEST_F(ParameterFileTest, ReplaceRefusedByTheCallersRuleChangesNothing) {
  for (bool exists : {true, false}) {
    SCOPED_TRACE(exists ? "file there" : "no file yet");
    std::filesystem::remove(path);
    if (exists) WriteFile(path, "waiting to go back\r\n");
    ParameterFileWriter writer;
    ASSERT_TRUE(writer.Create(path));
    EXPECT_TRUE(writer.WriteLine("new"));
    std::string asked;
    CommitRules rules;
    rules.mayReplace = [&asked](const std::string& target) {
      asked = target;
      return false;
    };
    FileReplacement refused = writer.Commit(rules);
    EXPECT_FALSE(refused.done);
    EXPECT_TRUE(refused.refused);
    EXPECT_EQ(asked, path);
    EXPECT_EQ(std::filesystem::exists(path), exists);
    if (exists) {
      EXPECT_EQ(ReadFile(path), "waiting to go back\r\n");
    }
    EXPECT_EQ(FileNamesIn(dir.Path()).size(), exists ? 1u : 0u);
  }
}

TEST_F(ParameterFileTest, ContentKeptAsACopyLeavesTheFileAsItIs) {
  WriteFile(path, "saved\r\n");
  WriteFile(path + ".1", "older\r\n");
  ParameterFileWriter writer;
  ASSERT_TRUE(writer.Create(path));
  EXPECT_TRUE(writer.WriteLine("read now"));
  FileReplacement kept = writer.CommitAsCopy();
  ASSERT_TRUE(kept.done);
  EXPECT_EQ(kept.keptAs, path + ".2");
  EXPECT_EQ(ReadFile(path), "saved\r\n");
  EXPECT_EQ(ReadFile(path + ".1"), "older\r\n");
  EXPECT_EQ(ReadFile(path + ".2"), "read now\r\n");
  EXPECT_EQ(FileNamesIn(dir.Path()),
            (std::vector<std::string>{"param.dat", "param.dat.1", "param.dat.2"}));
}

#if !defined(_WIN32)  // symbolic links
TEST_F(ParameterFileTest, LinkedFileIsReplacedWhereItLiesAndTheLinkStays) {
  TempDir elsewhere;
  std::string real = elsewhere.File("real.dat");
  WriteFile(real, "old\r\n");
  std::filesystem::create_symlink(real, path);
  ParameterFileWriter writer;
  ASSERT_TRUE(writer.Create(path));
  EXPECT_TRUE(writer.WriteLine("new"));
  FileReplacement done = writer.Commit();
  ASSERT_TRUE(done.done);
  EXPECT_EQ(done.keptAs, real + ".1");
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(ReadFile(path), "new\r\n");
  EXPECT_EQ(ReadFile(real + ".1"), "old\r\n");
}
#endif

TEST_F(ParameterFileTest, FullDiskLeavesTheFileAsItWas) {
  WriteFile(path, "kept\r\n");
  FailingFileIo full(30, FailingFileIo::kNever);
  ParameterFileWriter writer;
  ASSERT_TRUE(writer.Create(path));
  EXPECT_TRUE(writer.WriteLine("HDG             0x00000001"));
  EXPECT_FALSE(writer.WriteLine("HDG             0x00000001"));
  EXPECT_TRUE(writer.WriteFailed());
  EXPECT_EQ(writer.Lines(), 1);
  writer.Discard();
  EXPECT_EQ(ReadFile(path), "kept\r\n");
  EXPECT_EQ(FileNamesIn(dir.Path()), (std::vector<std::string>{"param.dat"}));
}

TEST_F(ParameterFileTest, ReadsLineFeedAndCrLfEndsAndRemovesOnlyRealLineEnds) {
  WriteFile(path, "one\r\ntwo\nthree\r\n\nlast");
  ReadResult read = ReadAll(path);
  EXPECT_EQ(read.lines, (std::vector<std::string>{"one", "two", "three", "", "last"}));

  // A carriage return that does not end a line stays, for the form check to name.
  WriteFile(path, "a\rb\nc\r");
  EXPECT_EQ(ReadAll(path).lines, (std::vector<std::string>{"a\rb", "c\r"}));

  WriteFile(path, "");
  EXPECT_TRUE(ReadAll(path).lines.empty());
  WriteFile(path, "\r\n");
  EXPECT_EQ(ReadAll(path).lines, (std::vector<std::string>{""}));
}

TEST_F(ParameterFileTest, KeepsBinaryBytesAsTheyAre) {
  std::string binary("A\0B\xff\x80", 5);
  WriteFile(path, binary + "\n");
  EXPECT_EQ(ReadAll(path).lines, (std::vector<std::string>{binary}));
}

TEST_F(ParameterFileTest, CutsALongLineTo254CharactersAndSkipsTheRestOfIt) {
  std::string exact(254, 'a');
  std::string huge(10000, 'b');
  WriteFile(path, exact + "\r\n" + huge + "\r\nnext\n" + std::string(255, 'c'));
  ReadResult read = ReadAll(path);
  ASSERT_EQ(read.lines.size(), 4u);
  EXPECT_EQ(read.kinds[0], FileLine::kLine);
  EXPECT_EQ(read.lines[0], exact);
  EXPECT_EQ(read.kinds[1], FileLine::kTooLong);
  EXPECT_EQ(read.lines[1], std::string(254, 'b'));
  EXPECT_EQ(read.kinds[2], FileLine::kLine);
  EXPECT_EQ(read.lines[2], "next");
  EXPECT_EQ(read.kinds[3], FileLine::kTooLong);
}

TEST_F(ParameterFileTest, StreamsAMillionLinesThroughOneBoundedLine) {
  {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    for (int i = 0; i < 1000000; ++i) std::fputs("HDG             0x00000001\r\n", out);
    std::fclose(out);
  }
  ParameterFileReader reader;
  ASSERT_TRUE(reader.Open(path));
  std::string line;
  std::size_t count = 0;
  std::size_t longest = 0;
  while (reader.ReadLine(line) != FileLine::kEnd) {
    ++count;
    longest = std::max(longest, line.capacity());
  }
  EXPECT_EQ(count, 1000000u);
  EXPECT_EQ(line, "");
  EXPECT_LE(longest, 2 * kParameterLineLimit);
}

TEST_F(ParameterFileTest, ReportsFilesThatCannotBeOpenedOrWritten) {
  ParameterFileReader reader;
  EXPECT_FALSE(reader.Open(dir.File("missing/param.dat")));
  ParameterFileWriter writer;
  EXPECT_FALSE(writer.Create(dir.File("missing/param.dat")));
  // A folder or a device is no configuration file: nothing is written beside it.
  std::filesystem::create_directory(path);
  EXPECT_FALSE(writer.Create(path));
  EXPECT_EQ(errno, EISDIR);
#if !defined(_WIN32)
  EXPECT_FALSE(writer.Create("/dev/null"));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(std::filesystem::exists("/dev/null.partial"));
#endif
}

TEST_F(ParameterFileTest, ReadErrorIsNotTheEndOfTheFile) {
  ParameterFileReader reader;
  std::string line;
#if !defined(_WIN32)
  // On Linux a folder opens like a file; reading it fails.
  ASSERT_TRUE(reader.Open(dir.Path()));
  EXPECT_EQ(reader.ReadLine(line), FileLine::kReadError);
  EXPECT_EQ(reader.Error(), EISDIR);
  // A regular file, by its kind, that cannot be read.
  ASSERT_TRUE(reader.Open("/proc/self/mem"));
  EXPECT_EQ(reader.ReadLine(line), FileLine::kReadError);
  EXPECT_EQ(reader.Error(), EIO);
#endif

  // Failing part way: the lines before come, the broken one does not, and
  // the error stays.
  WriteFile(path, "one\r\ntwo\r\nthree\r\n");
  FailingFileIo failing(FailingFileIo::kNever, 7);
  ASSERT_TRUE(reader.Open(path));
  EXPECT_EQ(reader.ReadLine(line), FileLine::kLine);
  EXPECT_EQ(line, "one");
  EXPECT_EQ(reader.ReadLine(line), FileLine::kReadError);
  EXPECT_EQ(line, "");
  EXPECT_EQ(reader.ReadLine(line), FileLine::kReadError);
}

#if !defined(_WIN32)  // Windows replaces no file that is open for reading
TEST_F(ParameterFileTest, RewindReadsTheSameFileAgainFromItsStart) {
  WriteFile(path, "one\ntwo\n");
  ParameterFileReader reader;
  ASSERT_TRUE(reader.Open(path));
  std::string line;
  while (reader.ReadLine(line) != FileLine::kEnd) {
  }
  // Replaced meanwhile: the open file is still the one read.
  WriteFile(dir.File("other"), "other\n");
  std::filesystem::rename(dir.File("other"), path);
  ASSERT_TRUE(reader.Rewind());
  EXPECT_EQ(reader.ReadLine(line), FileLine::kLine);
  EXPECT_EQ(line, "one");
}
#endif

}  // namespace
}  // namespace rv4410
