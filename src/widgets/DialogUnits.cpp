#include "widgets/DialogUnits.h"

#include <QFontMetrics>

namespace zendra {

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width is measured over the alphabet and rounded, as the dialog
  // manager does it, rather than taken from the font's own (often digit-based) figure.
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = (alphabet / 26 + 1) / 2;
  baseY_ = metrics.height();
  if (baseX_ < 1) baseX_ = 1;
  if (baseY_ < 1) baseY_ = 1;
}

int DialogUnits::X(int dlu) const { return (dlu * baseX_ + 2) / 4; }

int DialogUnits::Y(int dlu) const { return (dlu * baseY_ + 4) / 8; }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  // Both edges are converted, so that controls that touch in dialog units touch on screen.
  const int left = X(x);
  const int top = Y(y);
  return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

QSize DialogUnits::Size(int width, int height) const { return QSize(X(width), Y(height)); }

}  // namespace zendra
