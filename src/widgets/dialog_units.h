// Dialog units of a dialog font, as pixel positions: horizontal units are a
// quarter of the average character width, vertical ones an eighth of the height.
#pragma once
#include <QFontMetrics>
#include <QRect>
#include <QWidget>

namespace tonvik {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    QFontMetrics m(font);
    base_x_ = m.horizontalAdvance(
                  QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
              52.0;
    base_y_ = m.height();
  }
  int X(int du) const { return static_cast<int>(du * base_x_ / 4.0 + 0.5); }
  int Y(int du) const { return static_cast<int>(du * base_y_ / 8.0 + 0.5); }
  QRect Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }
  void Place(QWidget* w, int x, int y, int cx, int cy) const { w->setGeometry(Rect(x, y, cx, cy)); }

 private:
  double base_x_;
  double base_y_;
};

}  // namespace tonvik
