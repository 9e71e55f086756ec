#include "activity_log/activity_log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/virtual_host.h"
#include "support/temp_dir.h"
#include "support/text_log_window.h"

namespace rv4410 {
namespace {

using test::ReadLogFile;
using test::TempDir;
using test::TextLogWindow;

class ActivityLogTest : public ::testing::Test {
 protected:
  TempDir dir;
  VirtualHost host;
  std::string path = dir.File("Loader.LOG");
};

// A window of `lines` lines, each `width` characters plus CR LF.
std::string Lines(int lines, int width) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    text += std::string(static_cast<std::size_t>(width), static_cast<char>('a' + i % 26));
    text += "\r\n";
  }
  return text;
}

TEST_F(ActivityLogTest, SecondRunAppendsAfterTheFirstBeginningWithTheBanner) {
  for (int run = 1; run <= 2; ++run) {
    ActivityLog log(host, path);
    log.LogOpen();
    log.LogBanner();
    log.LogLine("... DoSetup()");
    log.LogClose();
  }
  std::string rule(73, '=');
  std::string banner = "\r\n\r\n\n" + rule + "\n" + rule + "\nThe current date and time are: ";
  std::string text = ReadLogFile(path);
  std::size_t first = text.find(banner);
  ASSERT_EQ(first, 0u);
  std::size_t second = text.find(banner, first + 1);
  ASSERT_NE(second, std::string::npos);
  EXPECT_NE(text.find("... DoSetup()\n", first), std::string::npos);
  EXPECT_NE(text.find("... DoSetup()\n", second), std::string::npos);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(ActivityLogTest, BannerShowsTheLocalTimeInAsctimeLayout) {
#if defined(_WIN32)
  _putenv_s("TZ", "UTC0");
  _tzset();
#else
  setenv("TZ", "UTC", 1);
  tzset();
#endif
  host.SetWallClock(1768478400);  // Thu Jan 15 12:00:00 2026 UTC
  ActivityLog log(host, path);
  log.LogOpen();
  log.LogBanner();
  EXPECT_NE(ReadLogFile(path).find("The current date and time are: Thu Jan 15 12:00:00 2026\n\n"),
            std::string::npos);
  host.SetWallClock(1765155909);  // Mon Dec  8 01:05:09 2025 UTC: a one-digit day
  log.LogBanner();
  EXPECT_NE(ReadLogFile(path).find("The current date and time are: Mon Dec  8 01:05:09 2025\n\n"),
            std::string::npos);
}

TEST_F(ActivityLogTest, TextEndingInCrLfGetsOneMoreNewlineInTheFile) {
  ActivityLog log(host, path);
  log.LogOpen();
  EXPECT_EQ(log.LogPrintf("Communications ready\r\n"), 0);
  EXPECT_EQ(ReadLogFile(path), "Communications ready\r\n\n");
}

TEST_F(ActivityLogTest, PrintfWithoutWindowWritesTheFileOnly) {
  ActivityLog log(host, path);
  log.LogOpen();
  log.LogPrintf("Unit sent '%s' %d %8.8X\r\n", "OK", 7, 0xABCDu);
  EXPECT_EQ(ReadLogFile(path), "Unit sent 'OK' 7 0000ABCD\r\n\n");
}

TEST_F(ActivityLogTest, PrintfCutsAtTheFormatBuffer) {
  ActivityLog log(host, path);
  log.LogOpen();
  std::string big(3000, 'x');
  log.LogPrintf("%s", big.c_str());
  EXPECT_EQ(ReadLogFile(path), std::string(1023, 'x') + "\n");
}

TEST_F(ActivityLogTest, WindowGetsTheTextAndTheLogFont) {
  TextLogWindow window;
  ActivityLog log(host, path);
  log.LogOpen();
  log.LogWindowAttach(&window);
  EXPECT_EQ(window.fontFamily, "Courier New");
  EXPECT_EQ(window.fontHeight, 16);
  log.LogPrintf("Set up for transfer\r\n");
  EXPECT_EQ(window.text, "Set up for transfer\r\n");
  log.LogWindowDetach();
  log.LogPrintf("after\r\n");
  EXPECT_EQ(window.text, "Set up for transfer\r\n");
  EXPECT_EQ(window.fontHeight, 0);
}

TEST_F(ActivityLogTest, WindowAboveTheLimitLosesExactlyItsFirstFiftyLines) {
  TextLogWindow window;
  // 20001 characters: 100 lines of 198 + CR LF, plus one character.
  window.text = Lines(100, 198) + "z";
  ASSERT_EQ(window.TextLength(), 20001);
  ActivityLog log(host, path);
  log.LogWindowAttach(&window);
  log.LogPrintf("new\r\n");
  EXPECT_EQ(window.text, Lines(100, 198).substr(50 * 200) + "znew\r\n");
}

TEST_F(ActivityLogTest, WindowAtTheLimitKeepsEverything) {
  TextLogWindow window;
  window.text = Lines(100, 198);
  ASSERT_EQ(window.TextLength(), 20000);
  ActivityLog log(host, path);
  log.LogWindowAttach(&window);
  log.LogPrintf("new\r\n");
  EXPECT_EQ(window.text, Lines(100, 198) + "new\r\n");
}

TEST_F(ActivityLogTest, UncreatableLogShowsOneOpenErrorAndTheRunGoesOn) {
  ActivityLog log(host, dir.File("missing-folder/Loader.LOG"));
  log.LogOpen();
  EXPECT_EQ(log.LogLine("... DoSetup()"), 0);
  EXPECT_EQ(log.LogPrintf("Set up for transfer\r\n"), 0);
  log.LogClose();
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  const MessageBoxRequest& box = host.ShownBoxes()[0];
  EXPECT_EQ(box.caption, "IO Error ...");
  EXPECT_EQ(box.text, std::string("Open error: ") + std::strerror(ENOENT) + "\n");
  EXPECT_EQ(box.icon, BoxIcon::kWarning);
  EXPECT_EQ(box.owner, nullptr);
}

#if !defined(_WIN32)  // /dev/full
TEST_F(ActivityLogTest, WriteFailureShowsWriteError) {
  ActivityLog log(host, "/dev/full");
  log.LogOpen();
  ASSERT_TRUE(log.IsOpen());
  EXPECT_NE(log.LogLine(std::string(100, 'x')), 0);
  ASSERT_FALSE(host.ShownBoxes().empty());
  EXPECT_EQ(host.ShownBoxes()[0].caption, "IO Error ...");
  EXPECT_EQ(host.ShownBoxes()[0].text.rfind("Write error: ", 0), 0u);
}
#endif

}  // namespace
}  // namespace rv4410
