#pragma once
// The pictures on the left of the pages and on the splash, drawn in code so
// that they stay sharp at any size.

#include <QWidget>

namespace rv4410 {

enum class PictureKind { kSplash, kSetup, kWaiting, kTransfer };

class PagePicture : public QWidget {
 public:
  explicit PagePicture(PictureKind kind, QWidget* parent = nullptr);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PictureKind kind_;
};

}  // namespace rv4410
