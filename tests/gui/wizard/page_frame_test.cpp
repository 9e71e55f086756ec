// The frame of the waiting and transfer pages, offscreen: the page's picture
// on the left of its controls, buttons that never take Enter, and a fixed size.

#include "wizard/qt/page_frame.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPushButton>

#include "platform/qt_host.h"
#include "support/temp_dir.h"
#include "wizard/qt/transfer_dialog.h"
#include "wizard/qt/waiting_dialog.h"

namespace rv4410::test {
namespace {

void ExpectFramed(QDialog& page, const char* content) {
  page.show();
  QCoreApplication::processEvents();
  auto* picture = page.findChild<PagePicture*>(QStringLiteral("picture"));
  auto* controls = page.findChild<QWidget*>(QString::fromLatin1(content));
  ASSERT_NE(picture, nullptr);
  ASSERT_NE(controls, nullptr);
  EXPECT_TRUE(picture->isVisible());
  EXPECT_LT(picture->geometry().right(), controls->geometry().left()) << content;
  EXPECT_GT(picture->height(), picture->width()) << "an upright picture";
  for (QPushButton* button : page.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault() || button->autoDefault())
        << button->objectName().toStdString();
  }
  DialogUnits units(page.font());
  EXPECT_GE(page.width(), units.X(322));
  EXPECT_GE(page.height(), units.Y(241));
  EXPECT_EQ(page.minimumSize(), page.maximumSize()) << "a fixed-size window";
  page.hide();
}

class PageFrameTest : public ::testing::Test {
 protected:
  TempDir dir;
  QtHost host;
  LoaderState state{host, dir.File("Loader.LOG")};
};

TEST_F(PageFrameTest, TheWaitingPageShowsItsPictureLeftOfItsText) {
  WaitingDialog page(state.run, {});
  ExpectFramed(page, "waitingText");
}

TEST_F(PageFrameTest, TheTransferPageShowsItsPictureLeftOfItsLog) {
  TransferDialog page(state);
  ExpectFramed(page, "logWindow");
}

}  // namespace
}  // namespace rv4410::test
