#pragma once
// Dialog units: page layouts are given in them, so that a page scales with the
// font and the screen. A horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height.

#include <QFont>
#include <QRect>
#include <QSize>

namespace rv4410 {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int X(int units) const { return Scale(units, baseX_, 4); }
  int Y(int units) const { return Scale(units, baseY_, 8); }
  QRect Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
  }
  QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }

  // Pixels of the average character width and of the font height.
  int BaseX() const { return baseX_; }
  int BaseY() const { return baseY_; }

 private:
  // units * base / divisor, rounded to the nearest pixel.
  static int Scale(int units, int base, int divisor) {
    return (units * base + divisor / 2) / divisor;
  }

  int baseX_;
  int baseY_;
};

}  // namespace rv4410
