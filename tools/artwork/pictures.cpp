// The disc motif and the larger pictures built on it.
#include <QConicalGradient>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

#include "artwork.h"

namespace artwork {

QImage Blank(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

namespace {

void PaintDisc(QPainter& p, QRectF r, double sheen_degrees, bool ring) {
  const QPointF c = r.center();
  const double R = r.width() / 2;
  QPainterPath disc;
  disc.addEllipse(c, R, R);
  disc.addEllipse(c, R * 0.16, R * 0.16);  // the hole shows what lies beneath
  disc.setFillRule(Qt::OddEvenFill);

  // Silver base with a soft rainbow reflection that turns with the disc.
  QConicalGradient sheen(c, sheen_degrees);
  sheen.setColorAt(0.00, QColor(0xF4, 0xF7, 0xFA));
  sheen.setColorAt(0.10, QColor(0xBF, 0xE3, 0xF8));
  sheen.setColorAt(0.18, QColor(0xD8, 0xC9, 0xF5));
  sheen.setColorAt(0.25, QColor(0xC4, 0xCC, 0xD6));
  sheen.setColorAt(0.50, QColor(0xF4, 0xF7, 0xFA));
  sheen.setColorAt(0.60, QColor(0xF9, 0xE2, 0xC0));
  sheen.setColorAt(0.68, QColor(0xCB, 0xEE, 0xD5));
  sheen.setColorAt(0.75, QColor(0xC4, 0xCC, 0xD6));
  sheen.setColorAt(1.00, QColor(0xF4, 0xF7, 0xFA));
  p.setPen(Qt::NoPen);
  p.setBrush(sheen);
  p.drawPath(disc);

  // Hub ring and outline.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0x9A, 0xA8, 0xB5), std::max(1.0, R * 0.06)));
  p.drawEllipse(c, R * 0.32, R * 0.32);
  p.setPen(QPen(QColor(0x78, 0x88, 0x96), std::max(0.8, R * 0.045)));
  p.drawEllipse(c, R - R * 0.025, R - R * 0.025);
  if (ring) {
    p.setPen(QPen(kAccent, R * 0.12, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(c.x() - R * 0.72, c.y() - R * 0.72, R * 1.44, R * 1.44), 30 * 16, 120 * 16);
  }
}

}  // namespace

QImage Disc(int size, double sheen_degrees, bool ring) {
  QImage image = Blank(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double m = size <= 16 ? 0.5 : size * 0.02;
  PaintDisc(p, QRectF(m, m, size - 2 * m, size - 2 * m), sheen_degrees, ring);
  return image;
}

QImage Logo(int size) {
  QImage image = Blank(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  // Soft shadow, the disc, and a blue badge with a note at the lower right.
  if (size >= 32) {
    QRadialGradient shadow(QPointF(s * 0.5, s * 0.54), s * 0.5);
    shadow.setColorAt(0.85, QColor(0, 0, 0, 50));
    shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(QPointF(s * 0.5, s * 0.53), s * 0.49, s * 0.49);
  }
  PaintDisc(p, QRectF(s * 0.03, s * 0.02, s * 0.90, s * 0.90), 200, false);
  const QPointF b(s * 0.73, s * 0.73);
  const double br = s * 0.25;
  p.setPen(QPen(Qt::white, std::max(1.0, s * 0.03)));
  p.setBrush(kAccent);
  p.drawEllipse(b, br, br);
  // An eighth note.
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(b.x() - br * 0.22, b.y() + br * 0.32), br * 0.26, br * 0.2);
  p.drawRect(QRectF(b.x() - br * 0.02, b.y() - br * 0.55, br * 0.13, br * 0.9));
  QPainterPath flag;
  flag.moveTo(b.x() + br * 0.1, b.y() - br * 0.55);
  flag.cubicTo(b.x() + br * 0.45, b.y() - br * 0.35, b.x() + br * 0.5, b.y() - br * 0.1,
               b.x() + br * 0.35, b.y() + br * 0.05);
  flag.cubicTo(b.x() + br * 0.38, b.y() - br * 0.15, b.x() + br * 0.25, b.y() - br * 0.3,
               b.x() + br * 0.1, b.y() - br * 0.3);
  flag.closeSubpath();
  p.drawPath(flag);
  return image;
}

QImage SidePicture() {
  const int w = 103, h = 326;
  QImage image = Blank(w, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath panel;
  panel.addRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 8, 8);
  QLinearGradient fill(0, 0, 0, h);
  fill.setColorAt(0, kAccent);
  fill.setColorAt(1, kAccentDark);
  p.setPen(Qt::NoPen);
  p.setBrush(fill);
  p.drawPath(panel);
  p.setClipPath(panel);
  // Large concentric grooves of a disc running off the lower edge.
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 7; ++i) {
    p.setPen(QPen(QColor(255, 255, 255, 26 + 6 * i), 1.2));
    p.drawEllipse(QPointF(w * 0.5, h + 10), 40.0 + 14 * i, 40.0 + 14 * i);
  }
  p.setClipping(false);
  const QImage logo = Logo(76);
  p.drawImage(QPointF((w - 76) / 2.0, 22), logo);
  // Three small rising bars: the "sound" under the logo.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 200));
  const double heights[] = {10, 18, 26, 18, 10};
  for (int i = 0; i < 5; ++i) p.drawRoundedRect(QRectF(30 + i * 9, 130 - heights[i], 6, heights[i]), 3, 3);
  return image;
}

QImage WizardPage(int kind) {
  const int w = 800, h = 550;
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(kPage);  // controls are painted on this same colour
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // Left band with the product picture.
  QLinearGradient band(0, 0, 0, h);
  band.setColorAt(0, kAccent);
  band.setColorAt(1, kAccentDark);
  p.setPen(Qt::NoPen);
  p.setBrush(band);
  p.drawRect(QRectF(0, 0, 120, h));
  p.setBrush(Qt::NoBrush);
  for (int i = 0; i < 8; ++i) {
    p.setPen(QPen(QColor(255, 255, 255, 22 + 5 * i), 1.2));
    p.drawEllipse(QPointF(60, h + 20), 50.0 + 16 * i, 50.0 + 16 * i);
  }
  p.drawImage(QPointF(20, 14), Logo(80));
  // The page's own sign under the logo: a checklist, a document, a download.
  p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  const QPointF s(60, 160);
  if (kind == 0) {
    for (int i = 0; i < 3; ++i) {
      p.drawPolyline(QPolygonF({{s.x() - 26, s.y() - 18 + 18.0 * i}, {s.x() - 21, s.y() - 13 + 18.0 * i},
                                {s.x() - 13, s.y() - 23 + 18.0 * i}}));
      p.drawLine(QPointF(s.x() - 4, s.y() - 18 + 18.0 * i), QPointF(s.x() + 24, s.y() - 18 + 18.0 * i));
    }
  } else if (kind == 1) {
    p.drawRoundedRect(QRectF(s.x() - 18, s.y() - 28, 36, 48), 4, 4);
    for (int i = 0; i < 4; ++i) p.drawLine(QPointF(s.x() - 9, s.y() - 16 + 10.0 * i), QPointF(s.x() + 9, s.y() - 16 + 10.0 * i));
  } else {
    p.drawLine(QPointF(s.x(), s.y() - 28), QPointF(s.x(), s.y() + 6));
    p.drawPolyline(QPolygonF({{s.x() - 14, s.y() - 8}, {s.x(), s.y() + 6}, {s.x() + 14, s.y() - 8}}));
    p.drawLine(QPointF(s.x() - 24, s.y() + 20), QPointF(s.x() + 24, s.y() + 20));
  }
  // Header rule under the title and subtitle.
  p.setPen(Qt::NoPen);
  p.setBrush(kAccent);
  p.drawRect(QRectF(134, 66, w - 134 - 20, 2));
  p.setBrush(QColor(0xD6, 0xE6, 0xF8));
  p.drawRect(QRectF(120, h - 60, w - 120, 1));
  return image;
}

}  // namespace artwork
