#pragma once
// Dialog units: the original pages are laid out in units of a quarter of the
// font's average character width and an eighth of its height, so that they
// scale with the font. Qt layouts take pixel sizes; these convert.

#include <QFont>
#include <QFontMetrics>
#include <QSize>

namespace rv4410 {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) : metrics_(font) {}

  int X(int units) const { return (units * metrics_.averageCharWidth() + 2) / 4; }
  int Y(int units) const { return (units * metrics_.height() + 4) / 8; }
  QSize Size(int width, int height) const { return {X(width), Y(height)}; }

 private:
  QFontMetrics metrics_;
};

}  // namespace rv4410
