#include "wizard/qt/dialog_units.h"

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QString>
#include <QStyle>
#include <algorithm>

namespace rv4410 {

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetrics metrics(font);
  // The average width over the 52 letters, rounded, as dialog templates measure it.
  int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = std::max(1, (letters / 26 + 1) / 2);
  baseY_ = std::max(1, metrics.height());
}

void DialogUnits::FitWidth(int units, int pixels) {
  if (units > 0) baseX_ = std::max(baseX_, 4.0 * pixels / units);
}

DialogUnits DialogLayout::Apply(QWidget& dialog, int width, int height) const {
  DialogUnits units(dialog.font());
  for (const auto& [widget, at] : places_) units.FitWidth(at.width, TextWidthNeeded(*widget));
  for (const auto& [widget, at] : places_) {
    widget->setGeometry(units.Rect(at.x, at.y, at.width, at.height));
  }
  dialog.setFixedSize(units.Size(width, height));
  return units;
}

int TextWidthNeeded(const QWidget& widget) {
  QFontMetrics metrics(widget.font());
  const QStyle* style = widget.style();
  auto width = [&metrics](QString text) { return metrics.horizontalAdvance(text.remove('&')); };
  if (auto* radio = qobject_cast<const QRadioButton*>(&widget)) {
    if (radio->text().isEmpty()) return 0;
    return style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, &widget) +
           style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, &widget) +
           width(radio->text());
  }
  if (auto* button = qobject_cast<const QPushButton*>(&widget)) {
    if (button->text().isEmpty()) return 0;
    return width(button->text()) +
           2 * (style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &widget) +
                style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &widget));
  }
  if (auto* label = qobject_cast<const QLabel*>(&widget)) {
    return label->text().isEmpty() ? 0 : width(label->text());
  }
  if (auto* group = qobject_cast<const QGroupBox*>(&widget)) {
    // The title sits inside the frame, an average character in from either side.
    return group->title().isEmpty() ? 0 : width(group->title()) + 2 * metrics.averageCharWidth();
  }
  return 0;
}

}  // namespace rv4410
