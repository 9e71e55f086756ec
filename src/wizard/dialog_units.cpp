#include "wizard/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace rv4410 {

DialogUnits::DialogUnits(const QFont& font) {
  QFontMetrics metrics(font);
  // The average width over the 52 letters, rounded, as dialog templates measure it.
  int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = std::max(1, (letters / 26 + 1) / 2);
  baseY_ = std::max(1, metrics.height());
}

}  // namespace rv4410
