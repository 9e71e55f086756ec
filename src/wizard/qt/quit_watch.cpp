#include "wizard/qt/quit_watch.h"

#include <QCoreApplication>
#include <QEvent>

namespace rv4410 {

QuitWatch::QuitWatch() {
  QCoreApplication::instance()->installEventFilter(this);
}

QuitWatch::~QuitWatch() {
  if (QCoreApplication::instance() != nullptr) {
    QCoreApplication::instance()->removeEventFilter(this);
  }
}

bool QuitWatch::Requested() {
  QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::Quit);
  return requested_;
}

bool QuitWatch::eventFilter(QObject* watched, QEvent* event) {
  // Noted, never taken: Qt goes on to close every window, as its close box
  // would (so an exchange running inside a page sees its cancel flag), and
  // to end the event loops it runs.
  if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
    requested_ = true;
  }
  return false;
}

}  // namespace rv4410
