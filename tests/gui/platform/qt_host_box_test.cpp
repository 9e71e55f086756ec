// The Qt host's message boxes: a long caption over a short text, as the
// configuration write's warnings have, is shown whole.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>

#include "gui/modal_answerer.h"
#include "platform/qt_host.h"

namespace rv4410::test {
namespace {

TEST(QtHostBoxTest, ABoxIsAtLeastAsWideAsItsCaptionWithTheTitleBarsButtons) {
  QtHost host;
  ModalAnswerer answerer;
  const std::string caption = "Parameter Name Not Found ...";
  for (const std::string& text : {std::string("HDG2 0x01"), std::string("HDG2 0x01")}) {
    host.ShowMessageBox({text, answerer.boxes.empty() ? caption : "Note", BoxIcon::kWarning,
                         BoxButtons::kOk, nullptr});
  }
  ASSERT_EQ(answerer.boxes.size(), 2u);
  QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
  titleFont.setBold(true);
  QFontMetrics title(titleFont);
  // The caption in a bold title font, and room for the window's icon and
  // three buttons, each about a line high.
  EXPECT_GE(answerer.boxes[0].width,
            title.horizontalAdvance(QString::fromStdString(caption)) + 4 * title.height());
  // A short caption leaves the box as narrow as its text makes it.
  EXPECT_LT(answerer.boxes[1].width, answerer.boxes[0].width);
}

}  // namespace
}  // namespace rv4410::test
