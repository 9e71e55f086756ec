#include "wizard/quit_watch.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

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
  // Noted, never taken: Qt still ends the event loops it runs. The modal
  // window open at the time is also closed as its close box would, so that an
  // exchange running inside it sees its cancel flag and stops.
  if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
    requested_ = true;
    if (QWidget* page = QApplication::activeModalWidget()) {
      QMetaObject::invokeMethod(page, &QWidget::close, Qt::QueuedConnection);
    }
  }
  return false;
}

}  // namespace rv4410
