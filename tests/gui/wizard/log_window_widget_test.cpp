#include "wizard/qt/log_window_widget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>

#include "activity_log/activity_log.h"
#include "platform/virtual_host.h"
#include "support/temp_dir.h"

namespace rv4410 {
namespace {

// The widget as the activity log's window.
class LogWindowWidgetTest : public ::testing::Test {
 protected:
  LogWindowWidgetTest() : log(host, dir.File("Loader.LOG")) { log.LogWindowAttach(&window); }

  test::TempDir dir;
  VirtualHost host;
  ActivityLog log;
  LogWindowWidget window;
};

TEST_F(LogWindowWidgetTest, ShowsLogLinesWithTheLogFontAndTrimsTheFirstFiftyLines) {
  EXPECT_EQ(window.font().family(), "Courier New");
  EXPECT_EQ(window.font().pixelSize(), 16);

  // 120 lines of 199 characters and a line break: 24000 characters shown.
  for (int i = 0; i < 120; ++i) log.LogPrintf("%03d%s\r\n", i, std::string(196, '.').c_str());
  // Each append past 20000 characters first dropped 50 lines.
  EXPECT_LE(window.TextLength(), 20000 + 200);
  EXPECT_TRUE(window.Shown().startsWith("050"));
  EXPECT_TRUE(window.Shown().endsWith("119" + QString(196, '.') + "\n"));
  EXPECT_FALSE(window.Shown().contains('\r'));

  log.LogWindowDetach();
  EXPECT_NE(window.font().family(), "Courier New");
}

// 100 lines of 198 characters and CR LF: exactly 20000 characters as appended.
TEST_F(LogWindowWidgetTest, CountsCrLfAsTwoSoTrimmingStartsJustAbove20000) {
  for (int i = 0; i < 100; ++i) log.LogPrintf("%03d%s\r\n", i, std::string(195, '.').c_str());
  EXPECT_EQ(window.TextLength(), 20000);
  EXPECT_EQ(window.LineStart(1), 200);
  EXPECT_EQ(window.LineStart(100), 20000);
  EXPECT_EQ(window.LineStart(101), -1);

  // Exactly 20000: nothing goes.
  log.LogPrintf("next\r\n");
  EXPECT_TRUE(window.Shown().startsWith("000"));
  EXPECT_EQ(window.TextLength(), 20006);
  // Above it: the first 50 lines go before the text is appended.
  log.LogPrintf("last\r\n");
  EXPECT_TRUE(window.Shown().startsWith("050"));
  EXPECT_EQ(window.TextLength(), 20006 - 50 * 200 + 6);
  EXPECT_TRUE(window.Shown().endsWith("next\nlast\n"));
}

TEST_F(LogWindowWidgetTest, LoneLineEndsAndACrLfSplitOverTwoAppendsKeepCountAndLinesInStep) {
  window.Append("a\rb\nc\r\nd");
  EXPECT_EQ(window.Shown(), "a\nb\nc\nd");
  EXPECT_EQ(window.TextLength(), 8);
  EXPECT_EQ(window.LineStart(1), 2);
  EXPECT_EQ(window.LineStart(2), 4);
  EXPECT_EQ(window.LineStart(3), 7);
  window.RemoveLeading(window.LineStart(2));
  EXPECT_EQ(window.Shown(), "c\nd");
  EXPECT_EQ(window.TextLength(), 4);

  // A CR at the end of one text and the LF that starts the next are one line end.
  window.Append("\r");
  window.Append("\ne\r\n");
  EXPECT_EQ(window.Shown(), "c\nd\ne\n");
  EXPECT_EQ(window.TextLength(), 9);
  EXPECT_EQ(window.LineStart(2), 6);
  // A cut between CR and LF takes the whole line end.
  window.RemoveLeading(5);
  EXPECT_EQ(window.Shown(), "e\n");
  EXPECT_EQ(window.TextLength(), 3);
  window.RemoveLeading(100);
  EXPECT_EQ(window.Shown(), "");
  EXPECT_EQ(window.TextLength(), 0);
}

// The page's control is 160 units wide: the log's long lines wrap inside it,
// words whole where they fit, and nothing scrolls sideways.
TEST_F(LogWindowWidgetTest, LongLinesWrapWithTheVerticalScrollBarOnly) {
  window.resize(260, 200);
  window.show();
  const std::string path = "/home/technician/loads/" + std::string(60, 'x') + ".hex";
  log.LogPrintf("Sending Program Data, 65792 bytes in 65 blocks of 1024\r\n");
  log.LogPrintf("%s\r\n", path.c_str());
  log.LogPrintf("OK\r\n");
  QString shown = window.Shown();
  EXPECT_EQ(shown.count('\n'), 3);  // the wrapping adds no line breaks to the text
  QApplication::processEvents();

  QTextBlock sentence = window.document()->findBlockByNumber(0);
  QTextBlock unbroken = window.document()->findBlockByNumber(1);
  ASSERT_TRUE(sentence.isValid() && unbroken.isValid());
  EXPECT_GT(sentence.layout()->lineCount(), 1);
  EXPECT_GT(unbroken.layout()->lineCount(), 1);
  // A sentence breaks between words.
  QTextLine first = sentence.layout()->lineAt(0);
  EXPECT_TRUE(sentence.text().at(first.textStart() + first.textLength() - 1).isSpace());
  EXPECT_EQ(window.document()->findBlockByNumber(2).layout()->lineCount(), 1);

  EXPECT_EQ(window.horizontalScrollBar()->maximum(), 0);
  EXPECT_FALSE(window.horizontalScrollBar()->isVisible());
  EXPECT_TRUE(window.verticalScrollBar()->isVisible());
}

}  // namespace
}  // namespace rv4410
