// The splash, offscreen: its texts from the version information, its window
// flags and size, and each way it ends.

#include "wizard/qt/splash_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <functional>

#include "wizard/qt/dialog_units.h"

namespace rv4410::test {
namespace {

// Takes every quit request posted to the application and counts it, so that
// the test program itself goes on.
class QuitCounter : public QObject {
 public:
  QuitCounter() { QCoreApplication::instance()->installEventFilter(this); }
  ~QuitCounter() override { QCoreApplication::instance()->removeEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Quit || watched != QCoreApplication::instance()) return false;
    ++count;
    return true;
  }
};

QString Line(SplashWindow& splash, const char* name) {
  QLabel* label = splash.findChild<QLabel*>(QString::fromLatin1(name));
  return label != nullptr ? label->text() : QStringLiteral("<missing>");
}

// Runs the splash; `action` runs `afterMs` after it is shown. Returns how
// long the splash was open, measured on the event loop's clock.
qint64 RunSplash(SplashWindow& splash, int afterMs, std::function<void()> action) {
  if (action) {
    QTimer::singleShot(afterMs, &splash, [&splash, action] {
      if (splash.isVisible()) action();
    });
  }
  QElapsedTimer clock;
  clock.start();
  splash.Run();
  return clock.elapsed();
}

const VersionInfo kVersion{"Product X", "4.5.6", "Loader of X", "(C) Someone"};

TEST(SplashWindow, ShowsTitleAndLinesFromTheVersionInformation) {
  SplashWindow splash(kVersion);
  EXPECT_EQ(splash.windowTitle(), QStringLiteral("Product X  4.5.6"));
  EXPECT_EQ(Line(splash, "line1029"), QStringLiteral("Loader of X Version 4.5.6"));
  EXPECT_EQ(Line(splash, "line1030"), QStringLiteral("(C) Someone"));
}

TEST(SplashWindow, ShowsTheBuildsOwnVersion) {
  std::optional<VersionInfo> version = ProgramVersionInfo();
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(version->productVersion, RV4410_PROJECT_VERSION);
  SplashWindow splash(version);
  EXPECT_EQ(splash.windowTitle().toStdString(),
            version->productName + "  " + RV4410_PROJECT_VERSION);
  EXPECT_EQ(Line(splash, "line1029").toStdString(),
            version->fileDescription + " Version " + RV4410_PROJECT_VERSION);
  EXPECT_EQ(Line(splash, "line1030").toStdString(), version->legalCopyright);
}

TEST(SplashWindow, WithoutVersionInformationKeepsTheTemplateTexts) {
  SplashWindow splash(std::nullopt);
  EXPECT_EQ(Line(splash, "line1029"), QStringLiteral("RV4410 Program and Map Loader"));
  EXPECT_EQ(Line(splash, "line1030"), QString::fromLatin1(kSplashTemplateLine2));
}

TEST(SplashWindow, IsACaptionedFixedWindowWithoutSystemMenu) {
  SplashWindow splash(kVersion);
  Qt::WindowFlags flags = splash.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
  EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
  DialogUnits units(splash.font());
  EXPECT_EQ(splash.size(), units.Size(205, 212));
  EXPECT_EQ(splash.minimumSize(), splash.maximumSize());
}

TEST(SplashWindow, EndsByItselfAfterTwoSecondsWithoutAQuit) {
  QuitCounter quits;
  SplashWindow splash(kVersion);
  bool shownAtStart = false;
  QTimer::singleShot(100, &splash, [&] { shownAtStart = splash.isVisible(); });
  qint64 open = RunSplash(splash, 0, nullptr);
  EXPECT_TRUE(shownAtStart);
  EXPECT_GE(open, 2000);
  EXPECT_LT(open, 2600);
  EXPECT_FALSE(splash.isVisible());
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(quits.count, 0);
}

TEST(SplashWindow, EndsAtOnceOnALeftOrRightButtonReleaseAnywhere) {
  for (const char* where : {"picture", "line1029", ""}) {
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
      SplashWindow splash(kVersion);
      qint64 open = RunSplash(splash, 200, [&] {
        QWidget* target = *where ? splash.findChild<QWidget*>(QString::fromLatin1(where)) : nullptr;
        QTest::mouseRelease(target != nullptr ? target : &splash, button);
      });
      EXPECT_LT(open, 1000) << where << " button " << button;
    }
  }
}

TEST(SplashWindow, AMiddleButtonReleaseDoesNotEndIt) {
  SplashWindow splash(kVersion);
  bool openAfterMiddle = false;
  qint64 open = RunSplash(splash, 200, [&] {
    QTest::mouseRelease(&splash, Qt::MiddleButton);
    openAfterMiddle = splash.isVisible();
    QTest::keyClick(&splash, Qt::Key_Escape);
  });
  EXPECT_TRUE(openAfterMiddle);
  EXPECT_LT(open, 1000);
}

TEST(SplashWindow, EndsAtOnceOnEnterOrEscape) {
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    QuitCounter quits;
    SplashWindow splash(kVersion);
    qint64 open = RunSplash(splash, 200, [&] { QTest::keyClick(&splash, key); });
    EXPECT_LT(open, 1000) << "key " << key;
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(quits.count, 0) << "key " << key;
  }
}

TEST(SplashWindow, ACloseRequestEndsItAndPostsOneQuitRequest) {
  QuitCounter quits;
  SplashWindow splash(kVersion);
  qint64 open = RunSplash(splash, 200, [&] { splash.close(); });
  EXPECT_LT(open, 1000);
  EXPECT_FALSE(splash.isVisible());
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(quits.count, 1);
}

}  // namespace
}  // namespace rv4410::test
