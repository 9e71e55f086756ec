#include "wizard/log_window_widget.h"

#include <gtest/gtest.h>

#include "activity_log/activity_log.h"
#include "platform/virtual_host.h"
#include "support/temp_dir.h"

namespace rv4410 {
namespace {

TEST(LogWindowWidgetTest, ShowsLogLinesWithTheLogFontAndTrimsTheFirstFiftyLines) {
  test::TempDir dir;
  VirtualHost host;
  ActivityLog log(host, dir.File("Loader.LOG"));
  LogWindowWidget window;
  log.LogWindowAttach(&window);
  EXPECT_EQ(window.font().family(), "Courier New");
  EXPECT_EQ(window.font().pixelSize(), 16);

  // 120 lines of 199 characters and a line break: 24000 characters shown.
  for (int i = 0; i < 120; ++i) log.LogPrintf("%03d%s\r\n", i, std::string(196, '.').c_str());
  // Each append past 20000 characters first dropped 50 lines.
  EXPECT_LE(window.TextLength(), 20000 + 200);
  EXPECT_TRUE(window.toPlainText().startsWith("050"));
  EXPECT_TRUE(window.toPlainText().endsWith("119" + QString(196, '.') + "\n"));
  EXPECT_FALSE(window.toPlainText().contains('\r'));

  log.LogWindowDetach();
  EXPECT_NE(window.font().family(), "Courier New");
}

}  // namespace
}  // namespace rv4410
