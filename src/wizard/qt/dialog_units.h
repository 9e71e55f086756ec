#pragma once
// Dialog units: page layouts are given in them, so that a page scales with the
// font and the screen. A horizontal unit is a quarter of the font's average
// character width, a vertical unit an eighth of its height. Where the desktop's
// font sets a text wider than its average promises, the horizontal unit grows
// until the text fits, and every control grows alike.

#include <QFont>
#include <QRect>
#include <QSize>
#include <utility>
#include <vector>

class QWidget;

namespace rv4410 {

// A control's place: x, y, width and height in dialog units.
struct DialogPlace {
  int x, y, width, height;
};

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  // Widens the horizontal unit, where needed, so that `pixels` fit in `units`.
  void FitWidth(int units, int pixels);

  int X(int units) const { return Scale(units, baseX_ / 4); }
  int Y(int units) const { return Scale(units, baseY_ / 8); }
  QRect Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
  }
  QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }

  // Pixels of four horizontal and of eight vertical units.
  double BaseX() const { return baseX_; }
  double BaseY() const { return baseY_; }

 private:
  static int Scale(int units, double pixelsPerUnit) {
    return static_cast<int>(units * pixelsPerUnit + 0.5);
  }

  double baseX_;
  double baseY_;
};

// The width in pixels the text of a button, label or group box needs, with
// the indicator or margins its style draws beside it; 0 for a widget without
// text. A style's minimum button width does not count: the places decide.
int TextWidthNeeded(const QWidget& widget);

// The places of a dialog's controls, kept until every control exists; then
// the units are fitted to their texts and each control put at its place.
class DialogLayout {
 public:
  void Place(QWidget* widget, const DialogPlace& place) { places_.push_back({widget, place}); }
  // Sizes `dialog` to `width` by `height` units and places every control.
  DialogUnits Apply(QWidget& dialog, int width, int height) const;

 private:
  std::vector<std::pair<QWidget*, DialogPlace>> places_;
};

}  // namespace rv4410
