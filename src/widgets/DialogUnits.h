#pragma once
// Dialog units to pixels. The templates give positions in dialog units, which
// scale with the dialog font: a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its character height.
// Every window places its controls through one of these, made from its font.

#include <QFont>
#include <QRect>
#include <QSize>

namespace zendra {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int X(int dlu) const;
  int Y(int dlu) const;
  QRect Rect(int x, int y, int width, int height) const;
  QSize Size(int width, int height) const;

  int AverageCharWidth() const { return baseX_; }
  int CharHeight() const { return baseY_; }

 private:
  int baseX_;
  int baseY_;
};

}  // namespace zendra
