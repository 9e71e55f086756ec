#include "config/parameter_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace rv4410 {
namespace {

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
  for (FileLine kind; (kind = reader.ReadLine(line)) != FileLine::kEnd;) {
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
  EXPECT_TRUE(writer.Close());
  EXPECT_EQ(ReadFile(path), "ADF-1 Select    0x00000000\r\n\r\n");

  // Created afresh: what was there before is gone.
  ASSERT_TRUE(writer.Create(path));
  EXPECT_TRUE(writer.WriteLine("HDG             0x00000001"));
  EXPECT_TRUE(writer.Close());
  EXPECT_EQ(ReadFile(path), "HDG             0x00000001\r\n");
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
  // A full device takes the open but no line.
  ASSERT_TRUE(writer.Create("/dev/full"));
  EXPECT_FALSE(writer.WriteLine("HDG             0x00000001"));
  EXPECT_FALSE(writer.WriteLine("HDG             0x00000001"));
}

}  // namespace
}  // namespace rv4410
