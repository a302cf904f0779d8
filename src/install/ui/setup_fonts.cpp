#include "install/ui/setup_fonts.h"

#include <QGuiApplication>

namespace tonvik::install {

namespace {

QFont Make(const QFont& desktop, qreal points, int weight) {
  QFont font(desktop.family());
  if (points > 0) font.setPointSizeF(points);
  else if (desktop.pixelSize() > 0) font.setPixelSize(desktop.pixelSize());
  font.setWeight(QFont::Weight(weight));
  return font;
}

}  // namespace

SetupFonts SetupFonts::FromDesktop() {
  const QFont desktop = QGuiApplication::font();
  SetupFonts fonts;
  fonts.small = Make(desktop, desktop.pointSizeF(), 400);
  fonts.text = Make(desktop, 10, 400);
  fonts.bold = Make(desktop, 10, 700);
  fonts.title = Make(desktop, 16, 400);
  return fonts;
}

}  // namespace tonvik::install
