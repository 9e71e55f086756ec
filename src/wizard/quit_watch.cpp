#include "wizard/quit_watch.h"

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
  // Only noted, never taken: Qt still ends the event loops it runs, so the
  // modal page open at the time ends as well.
  if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
    requested_ = true;
  }
  return false;
}

}  // namespace rv4410
