#include "wizard/qt/page_picture.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace rv4410 {

namespace {

// Every picture is drawn on a canvas of 100 by 140 units, scaled to fit the
// widget and centred, so that lines and text keep their proportions.
constexpr qreal kCanvasWidth = 100;
constexpr qreal kCanvasHeight = 140;

const QColor kInk(34, 38, 46);
const QColor kBezel(58, 62, 72);
const QColor kFace(14, 22, 30);
const QColor kTick(226, 232, 240);
const QColor kCourse(214, 70, 200);
const QColor kAircraft(250, 200, 40);
const QColor kCable(44, 84, 160);
const QColor kCase(206, 212, 222);
const QColor kScreen(236, 244, 252);
const QColor kAccent(24, 130, 70);
const QColor kAccentLight(120, 200, 140);
const QColor kMuted(150, 160, 176);

QPen Pen(const QColor& color, qreal width) {
  QPen pen(color, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

// The unit: a square bezel around a round display with its compass card, a
// course needle and the aircraft symbol, and the maintenance connector below.
void DrawUnit(QPainter& p, const QPointF& centre, qreal side) {
  QRectF bezel(centre.x() - side / 2, centre.y() - side / 2, side, side);
  p.setPen(Pen(kInk, 1.2));
  p.setBrush(kBezel);
  p.drawRoundedRect(bezel, side * 0.14, side * 0.14);
  // Four mounting screws.
  p.setBrush(kMuted);
  qreal inset = side * 0.09;
  for (QPointF corner :
       {bezel.topLeft() + QPointF(inset, inset), bezel.topRight() + QPointF(-inset, inset),
        bezel.bottomLeft() + QPointF(inset, -inset),
        bezel.bottomRight() + QPointF(-inset, -inset)}) {
    p.drawEllipse(corner, side * 0.025, side * 0.025);
  }
  qreal radius = side * 0.38;
  p.setPen(Pen(kInk, 1));
  p.setBrush(kFace);
  p.drawEllipse(centre, radius, radius);
  // The compass card: a tick every 10 degrees, a longer one every 30.
  for (int degrees = 0; degrees < 360; degrees += 10) {
    qreal angle = qDegreesToRadians(static_cast<qreal>(degrees));
    qreal inner = radius * (degrees % 30 == 0 ? 0.74 : 0.84);
    QPointF direction(std::sin(angle), -std::cos(angle));
    p.setPen(Pen(kTick, degrees % 30 == 0 ? 1.1 : 0.6));
    p.drawLine(centre + direction * inner, centre + direction * radius * 0.94);
  }
  QFont north = p.font();
  north.setPixelSize(qMax(1, qRound(radius * 0.3)));
  north.setBold(true);
  p.setFont(north);
  p.setPen(kTick);
  p.drawText(
      QRectF(centre.x() - radius * 0.3, centre.y() - radius * 0.76, radius * 0.6, radius * 0.34),
      Qt::AlignCenter, QStringLiteral("N"));
  // The course needle, turned a little off north.
  p.save();
  p.translate(centre);
  p.rotate(35);
  p.setPen(Pen(kCourse, 1.6));
  p.drawLine(QPointF(0, radius * 0.62), QPointF(0, -radius * 0.5));
  QPainterPath head;
  head.moveTo(0, -radius * 0.66);
  head.lineTo(-radius * 0.1, -radius * 0.46);
  head.lineTo(radius * 0.1, -radius * 0.46);
  head.closeSubpath();
  p.setBrush(kCourse);
  p.drawPath(head);
  p.restore();
  // The aircraft symbol, fixed in the centre.
  p.setPen(Pen(kAircraft, 1.6));
  p.drawLine(centre + QPointF(0, -radius * 0.2), centre + QPointF(0, radius * 0.24));
  p.drawLine(centre + QPointF(-radius * 0.22, 0), centre + QPointF(radius * 0.22, 0));
  p.drawLine(centre + QPointF(-radius * 0.1, radius * 0.2),
             centre + QPointF(radius * 0.1, radius * 0.2));
  // The connector under the bezel.
  p.setPen(Pen(kInk, 1));
  p.setBrush(kMuted);
  p.drawRoundedRect(QRectF(centre.x() - side * 0.09, bezel.bottom(), side * 0.18, side * 0.08), 1,
                    1);
}

QPainterPath CablePath(const QPointF& from, const QPointF& to) {
  QPainterPath cable;
  cable.moveTo(from);
  qreal span = to.y() - from.y();
  cable.cubicTo(from + QPointF(-16, span * 0.5), to + QPointF(16, -span * 0.5), to);
  return cable;
}

void DrawCable(QPainter& p, const QPainterPath& cable) {
  p.setBrush(Qt::NoBrush);
  p.setPen(Pen(kInk, 3.4));
  p.drawPath(cable);
  p.setPen(Pen(kCable, 2.2));
  p.drawPath(cable);
}

// The PC: a monitor on its stand; returns the screen's area for the motif.
QRectF DrawPc(QPainter& p, const QRectF& monitor) {
  p.setPen(Pen(kInk, 1.2));
  p.setBrush(kCase);
  QPointF foot(monitor.center().x(), monitor.bottom());
  p.drawRect(QRectF(foot.x() - 5, foot.y(), 10, 4));
  p.drawRoundedRect(QRectF(foot.x() - 13, foot.y() + 4, 26, 3), 1.5, 1.5);
  p.drawRoundedRect(monitor, 2.5, 2.5);
  QRectF screen = monitor.adjusted(3, 3, -3, -3);
  p.setPen(Pen(kInk, 0.8));
  p.setBrush(kScreen);
  p.drawRect(screen);
  return screen;
}

// Setup: a checklist on the screen and a gear beside it.
void DrawSetupMotif(QPainter& p, const QRectF& screen) {
  qreal row = screen.height() / 3;
  for (int i = 0; i < 3; ++i) {
    QRectF box(screen.left() + 3, screen.top() + row * i + row * 0.22, row * 0.56, row * 0.56);
    p.setPen(Pen(kInk, 0.7));
    p.setBrush(Qt::white);
    p.drawRect(box);
    if (i < 2) {
      p.setPen(Pen(kAccent, 1.2));
      p.drawPolyline(QPolygonF({box.topLeft() + QPointF(box.width() * 0.15, box.height() * 0.5),
                                box.topLeft() + QPointF(box.width() * 0.42, box.height() * 0.82),
                                box.topLeft() + QPointF(box.width() * 0.9, box.height() * 0.1)}));
    }
    p.setPen(Pen(kMuted, 1.4));
    qreal y = box.center().y();
    p.drawLine(QPointF(box.right() + 3, y), QPointF(screen.right() - 12 + (i % 2) * 4, y));
  }
  // The gear, overlapping the screen's corner.
  QPointF centre(screen.right() - 1, screen.top() + 1);
  QPainterPath gear;
  constexpr int kTeeth = 8;
  for (int i = 0; i < kTeeth * 2; ++i) {
    qreal angle = M_PI * i / kTeeth;
    qreal r = i % 2 == 0 ? 8.0 : 6.2;
    for (qreal half : {-0.2, 0.2}) {
      QPointF point = centre + QPointF(std::cos(angle + half), std::sin(angle + half)) * r;
      if (gear.elementCount() == 0) {
        gear.moveTo(point);
      } else {
        gear.lineTo(point);
      }
    }
  }
  gear.closeSubpath();
  gear.addEllipse(centre, 2.4, 2.4);
  p.setPen(Pen(kInk, 0.9));
  p.setBrush(kMuted);
  p.drawPath(gear);
}

// Waiting: the PC calls out and the unit is asked to power up.
void DrawWaitingMotif(QPainter& p, const QRectF& screen, const QPointF& unitCentre, qreal side) {
  // A magnifier searching on the screen.
  QPointF lens(screen.center().x() - 3, screen.center().y() - 1);
  p.setPen(Pen(kInk, 1.6));
  p.setBrush(QColor(200, 228, 250));
  p.drawEllipse(lens, 5.5, 5.5);
  p.setPen(Pen(kInk, 2.4));
  p.drawLine(lens + QPointF(4, 4), lens + QPointF(9, 9));
  // The power badge on the unit's corner.
  QPointF badge = unitCentre + QPointF(side / 2 - 2, -side / 2 + 2);
  p.setPen(Pen(kInk, 1));
  p.setBrush(kAccent);
  p.drawEllipse(badge, 7, 7);
  p.setPen(Pen(Qt::white, 1.4));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(badge.x() - 4, badge.y() - 4, 8, 8), 60 * 16, -300 * 16);
  p.drawLine(badge + QPointF(0, -5), badge + QPointF(0, -0.5));
  // Calling waves from the PC's top.
  p.setPen(Pen(kAccentLight, 1.6));
  QPointF origin(screen.left() - 3, screen.top() - 3);
  for (int i = 1; i <= 3; ++i) {
    qreal r = 4.0 * i;
    p.drawArc(QRectF(origin.x() - r, origin.y() - r, 2 * r, 2 * r), 100 * 16, 70 * 16);
  }
}

// Transfer: a progress bar on the screen and data arrows up the cable.
void DrawTransferMotif(QPainter& p, const QRectF& screen, const QPainterPath& cable) {
  QRectF bar(screen.left() + 3, screen.center().y() + 2, screen.width() - 6, 4);
  p.setPen(Pen(kInk, 0.7));
  p.setBrush(Qt::white);
  p.drawRect(bar);
  p.setBrush(kAccent);
  p.drawRect(QRectF(bar.topLeft(), QSizeF(bar.width() * 0.62, bar.height())));
  // A document with a folded corner above the bar.
  QRectF page(screen.left() + 4, screen.top() + 2, 7, 8);
  p.setBrush(Qt::white);
  p.drawPolygon(
      QPolygonF({page.topLeft(), page.topRight() - QPointF(2.5, 0),
                 page.topRight() + QPointF(0, 2.5), page.bottomRight(), page.bottomLeft()}));
  p.setPen(Pen(kMuted, 1.2));
  p.drawLine(QPointF(page.right() + 3, page.top() + 3),
             QPointF(screen.right() - 4, page.top() + 3));
  p.drawLine(QPointF(page.right() + 3, page.top() + 6),
             QPointF(screen.right() - 9, page.top() + 6));
  // Arrows along the cable, pointing from the PC up to the unit.
  for (qreal at : {0.28, 0.72}) {
    QPointF point = cable.pointAtPercent(at);
    qreal angle = cable.angleAtPercent(at);
    p.save();
    p.translate(point);
    p.rotate(-angle + 180);  // the path runs from the unit down; data goes up
    QPainterPath arrow;
    arrow.moveTo(5, 0);
    arrow.lineTo(-3, -4);
    arrow.lineTo(-1, 0);
    arrow.lineTo(-3, 4);
    arrow.closeSubpath();
    p.setPen(Pen(kInk, 0.8));
    p.setBrush(kAircraft);
    p.drawPath(arrow);
    p.restore();
  }
}

// Splash: the unit large, and the product's name under it.
void DrawSplash(QPainter& p) {
  DrawUnit(p, QPointF(50, 52), 70);
  QFont name = p.font();
  name.setPixelSize(20);
  name.setBold(true);
  p.setFont(name);
  p.setPen(kInk);
  p.drawText(QRectF(0, 98, kCanvasWidth, 22), Qt::AlignCenter, QStringLiteral("RV4410"));
  QFont line = p.font();
  line.setPixelSize(8);
  line.setBold(false);
  line.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
  p.setFont(line);
  p.setPen(kCable);
  p.drawText(QRectF(0, 120, kCanvasWidth, 10), Qt::AlignCenter, QStringLiteral("LOADER"));
}

void DrawPage(QPainter& p, PictureKind kind) {
  const QPointF unitCentre(50, 30);
  const qreal unitSide = 48;
  DrawUnit(p, unitCentre, unitSide);
  QRectF monitor(24, 96, 52, 32);
  QPainterPath cable =
      CablePath(QPointF(50, unitCentre.y() + unitSide / 2 + 4), QPointF(50, monitor.top()));
  DrawCable(p, cable);
  QRectF screen = DrawPc(p, monitor);
  switch (kind) {
    case PictureKind::kSetup:
      DrawSetupMotif(p, screen);
      break;
    case PictureKind::kWaiting:
      DrawWaitingMotif(p, screen, unitCentre, unitSide);
      break;
    case PictureKind::kTransfer:
      DrawTransferMotif(p, screen, cable);
      break;
    case PictureKind::kSplash:
      break;
  }
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
  painter.setRenderHint(QPainter::TextAntialiasing);
  // A sunken, bordered frame with a light sky behind the drawing.
  QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  QLinearGradient sky(area.topLeft(), area.bottomLeft());
  sky.setColorAt(0, QColor(218, 230, 246));
  sky.setColorAt(1, QColor(250, 251, 253));
  painter.setPen(QPen(palette().dark().color(), 1));
  painter.setBrush(sky);
  painter.drawRect(area);

  qreal scale = std::min(area.width() / kCanvasWidth, area.height() / kCanvasHeight);
  painter.translate(area.center().x() - kCanvasWidth * scale / 2,
                    area.center().y() - kCanvasHeight * scale / 2);
  painter.scale(scale, scale);
  if (kind_ == PictureKind::kSplash) {
    DrawSplash(painter);
  } else {
    DrawPage(painter, kind_);
  }
}

}  // namespace rv4410
