#pragma once
// Notices a quit request for the whole program (the splash's close request,
// the session ending) wherever it is delivered, also inside a wait that pumps
// events in the middle of a page, so that the page loop can end on it.

#include <QObject>

namespace rv4410 {

class QuitWatch : public QObject {
 public:
  // Watches every event of the application from now on.
  QuitWatch();
  ~QuitWatch() override;
  QuitWatch(const QuitWatch&) = delete;
  QuitWatch& operator=(const QuitWatch&) = delete;

  // Delivers a quit request still queued, then says whether one has arrived.
  bool Requested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool requested_ = false;
};

}  // namespace rv4410
