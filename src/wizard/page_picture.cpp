#include "wizard/page_picture.h"

#include <QPainter>
#include <QPainterPath>

namespace rv4410 {

namespace {

// The unit's face: a dark bezel with a lit round display.
void DrawUnit(QPainter& painter, const QRectF& area) {
  QRectF bezel = area.adjusted(area.width() * 0.12, area.height() * 0.08, -area.width() * 0.12,
                               -area.height() * 0.5);
  painter.setPen(QPen(QColor(30, 30, 34), 2));
  painter.setBrush(QColor(52, 56, 64));
  painter.drawRoundedRect(bezel, 8, 8);
  qreal side = std::min(bezel.width(), bezel.height()) * 0.8;
  QRectF display(bezel.center().x() - side / 2, bezel.center().y() - side / 2, side, side);
  QRadialGradient glow(display.center(), side / 2);
  glow.setColorAt(0, QColor(40, 120, 60));
  glow.setColorAt(1, QColor(10, 40, 20));
  painter.setBrush(glow);
  painter.drawEllipse(display);
  painter.setPen(QPen(QColor(180, 255, 190), 2));
  painter.drawLine(display.center(), QPointF(display.center().x(), display.top() + side * 0.15));
}

// A serial cable running from the unit down to the PC.
void DrawCable(QPainter& painter, const QRectF& area) {
  QPainterPath cable;
  cable.moveTo(area.center().x(), area.top() + area.height() * 0.42);
  cable.cubicTo(area.left() + area.width() * 0.2, area.top() + area.height() * 0.6,
                area.right() - area.width() * 0.2, area.top() + area.height() * 0.7,
                area.center().x(), area.top() + area.height() * 0.8);
  painter.setPen(QPen(QColor(40, 70, 140), 3));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(cable);
  QRectF pc(area.center().x() - area.width() * 0.3, area.top() + area.height() * 0.8,
            area.width() * 0.6, area.height() * 0.12);
  painter.setPen(QPen(QColor(30, 30, 34), 2));
  painter.setBrush(QColor(200, 204, 210));
  painter.drawRoundedRect(pc, 4, 4);
}

}  // namespace

PagePicture::PagePicture(PictureKind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
  setMinimumSize(80, 110);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
}

QSize PagePicture::sizeHint() const {
  return {143 * 2, 198 * 2};
}

void PagePicture::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QRectF area = rect().adjusted(1, 1, -1, -1);
  QLinearGradient sky(area.topLeft(), area.bottomLeft());
  sky.setColorAt(0, QColor(222, 232, 246));
  sky.setColorAt(1, QColor(248, 250, 252));
  painter.setPen(QPen(palette().dark().color(), 1));
  painter.setBrush(sky);
  painter.drawRect(area);
  DrawUnit(painter, area);
  if (kind_ != PictureKind::kSplash) DrawCable(painter, area);
}

}  // namespace rv4410
