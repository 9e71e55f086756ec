// A quit request (the splash's close posts one to the whole program) that
// arrives while the logic waits inside a page's handler: the page ends, and the
// event loop that runs after it still hears the request and ends too.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include "platform/qt_host.h"
#include "protocol/command_lines.h"
#include "protocol/run_state.h"
#include "support/temp_dir.h"

namespace rv4410::test {
namespace {

constexpr int kWatchdogResult = 7;
constexpr int kWatchdogExit = 9;
constexpr int kWatchdogMs = 3000;

TEST(QtHostQuitTest, QuitPostedDuringAWaitEndsThePageAndTheLoopAfterIt) {
  TempDir dir;
  QtHost host;
  RunState run(host, dir.File("Loader.LOG"));
  QDialog page;
  int received = 0;
  std::int64_t waitedMs = 0;
  std::int64_t wakeups = 0;
  // The page's operation: a reply wait of 300 ms (no port: it sleeps to its deadline).
  QTimer::singleShot(0, &page, [&] {
    QTimer::singleShot(50, [] {
      QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::Quit));
    });
    std::int64_t start = host.TickCount();
    std::int64_t wakeupsBefore = host.Wakeups();
    ReplyBuffer reply{};
    received = ReceiveLine(run, reply.data(), 300);
    waitedMs = host.TickCount() - start;
    wakeups = host.Wakeups() - wakeupsBefore;
  });
  QTimer::singleShot(kWatchdogMs, &page, [&page] { page.done(kWatchdogResult); });

  int pageResult = page.exec();
  // The wait ran to its deadline, sleeping, and the quit did not end it early.
  EXPECT_EQ(received, -1);
  EXPECT_GE(waitedMs, 300);
  EXPECT_LT(wakeups, 20);
  EXPECT_NE(pageResult, kWatchdogResult) << "the page did not end on the quit request";
  EXPECT_TRUE(host.QuitRequested());

  // The program's loop, started only now, still ends on the request.
  QElapsedTimer elapsed;
  elapsed.start();
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(kWatchdogExit); });
  watchdog.start(kWatchdogMs);
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_LT(elapsed.elapsed(), 1000);
}

}  // namespace
}  // namespace rv4410::test
