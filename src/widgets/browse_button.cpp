#include "widgets/browse_button.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <qdrawutil.h>

#include "widgets/theme.h"

namespace tonvik {

BrowseButton::State BrowseButton::CurrentState() const {
  if (!button_) return kNormal;
  if (button_->isDown()) return kPressed;
  if (!button_->isEnabled()) return kDisabled;
  if (button_->underMouse() || button_->hasFocus()) return kHot;
  return kNormal;
}

void BrowseButton::Paint() {
  QPushButton* b = button_;
  QPainter painter(b);
  painter.setRenderHint(QPainter::Antialiasing);
  const State state = CurrentState();
  QStyle* style = b->style();
  if (ThemeAvailable()) {
    // A flat scroll-bar thumb: a rounded bar in the button colour that lights
    // up under the mouse and darkens while pressed.
    const QPalette& pal = b->palette();
    QColor fill = pal.color(QPalette::Button);
    QColor border = pal.color(QPalette::Mid);
    if (state == kPressed) {
      fill = fill.darker(118);
    } else if (state == kHot) {
      const QColor glow = pal.color(QPalette::Highlight);
      fill = QColor((fill.red() * 5 + glow.red()) / 6, (fill.green() * 5 + glow.green()) / 6,
                    (fill.blue() * 5 + glow.blue()) / 6);
      border = glow;
    } else if (state == kDisabled) {
      fill = pal.color(QPalette::Disabled, QPalette::Button);
      border = pal.color(QPalette::Disabled, QPalette::Mid);
    }
    painter.setPen(QPen(border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(b->rect()).adjusted(1.5, 1.5, -1.5, -1.5), 3, 3);
  } else {
    qDrawWinButton(&painter, b->rect(), b->palette(), state == kPressed, &b->palette().button());
    if (b->hasFocus()) {
      QStyleOptionFocusRect focus;
      focus.initFrom(b);
      focus.rect = b->rect().adjusted(4, 4, -4, -4);
      style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, b);
    }
  }
  const QRect text_box = b->rect().translated(1, 1);
  const QString dots = QStringLiteral("...");
  painter.setFont(b->font());
  if (state == kDisabled) {
    // Embossed: the light copy one pixel down-right, the shadow on top.
    painter.setPen(b->palette().color(QPalette::Light));
    painter.drawText(text_box.translated(1, 1), Qt::AlignCenter, dots);
    painter.setPen(b->palette().color(QPalette::Disabled, QPalette::ButtonText));
  } else {
    painter.setPen(b->palette().color(QPalette::ButtonText));
  }
  painter.drawText(text_box, Qt::AlignCenter, dots);
}

}  // namespace tonvik
