// The 24 x 24 button glyphs: a round badge in the action's colour with a white
// symbol, the same weight of line on every button.
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <functional>

#include "artwork.h"

namespace artwork {

namespace {

constexpr double kLine = 2.4;

QImage Badge(const QColor& colour, const std::function<void(QPainter&)>& symbol) {
  QImage image = Blank(24, 24);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(colour.darker(125), 1.0));
  p.setBrush(colour);
  p.drawEllipse(QPointF(12, 12), 10.5, 10.5);
  p.setPen(QPen(Qt::white, kLine, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  symbol(p);
  return image;
}

}  // namespace

QImage AcceptGlyph() {
  return Badge(kGreen, [](QPainter& p) {
    p.drawPolyline(QPolygonF({{7.2, 12.4}, {10.6, 15.8}, {16.8, 8.6}}));
  });
}

QImage CancelGlyph() {
  return Badge(kRed, [](QPainter& p) {
    p.drawLine(QPointF(8.3, 8.3), QPointF(15.7, 15.7));
    p.drawLine(QPointF(15.7, 8.3), QPointF(8.3, 15.7));
  });
}

QImage ConfigureGlyph() {
  return Badge(kSlate, [](QPainter& p) {
    // A gear: eight teeth around a ring.
    QPainterPath gear;
    const QPointF c(12, 12);
    for (int i = 0; i < 8; ++i) {
      const double a = i * M_PI / 4;
      QPainterPath tooth;
      tooth.addRect(QRectF(-1.9, -8.2, 3.8, 3.8));
      QTransform t;
      t.translate(c.x(), c.y());
      t.rotateRadians(a);
      gear.addPath(t.map(tooth));
    }
    gear.addEllipse(c, 5.7, 5.7);
    gear = gear.simplified();
    QPainterPath hole;
    hole.addEllipse(c, 2.3, 2.3);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(gear.subtracted(hole));
  });
}

QImage PauseGlyph() {
  return Badge(kAccent, [](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(8.0, 7.5, 2.9, 9.0), 1.0, 1.0);
    p.drawRoundedRect(QRectF(13.1, 7.5, 2.9, 9.0), 1.0, 1.0);
  });
}

QImage ResumeGlyph() {
  return Badge(kAccent, [](QPainter& p) {
    QPainterPath play;
    play.moveTo(9.6, 7.4);
    play.lineTo(16.8, 12.0);
    play.lineTo(9.6, 16.6);
    play.closeSubpath();
    p.setPen(QPen(Qt::white, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(play);
  });
}

QImage HideGlyph() {
  return Badge(kSlate, [](QPainter& p) {
    // An arrow down into the tray.
    p.drawLine(QPointF(12, 6.8), QPointF(12, 13.6));
    p.drawPolyline(QPolygonF({{8.8, 10.6}, {12, 13.8}, {15.2, 10.6}}));
    p.drawLine(QPointF(7.6, 17.0), QPointF(16.4, 17.0));
  });
}

}  // namespace artwork
