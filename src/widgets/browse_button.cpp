#include "widgets/browse_button.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <qdrawutil.h>

#include "widgets/theme.h"

namespace tonvik {

BrowseButton::~BrowseButton() {
  if (button_) button_->removeEventFilter(this);
}

bool BrowseButton::Attach(QPushButton* button) {
  if (!button) return false;
  if (button_) button_->removeEventFilter(this);
  button_ = button;
  button_->setAttribute(Qt::WA_Hover);
  button_->installEventFilter(this);
  button_->update();
  return true;
}

void BrowseButton::SetText(const QString& text) {
  if (!button_) return;
  button_->setText(text);
  button_->setAccessibleName(QString(text).remove(QLatin1Char('&')));
}

BrowseButton::State BrowseButton::CurrentState() const {
  if (!button_) return kNormal;
  if (button_->isDown()) return kPressed;
  if (!button_->isEnabled()) return kDisabled;
  if (button_->underMouse() || button_->hasFocus()) return kHot;
  return kNormal;
}

bool BrowseButton::eventFilter(QObject* watched, QEvent* event) {
  if (watched == button_ && event->type() == QEvent::Paint) {
    Paint();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void BrowseButton::Paint() {
  QPushButton* b = button_;
  QPainter painter(b);
  painter.setRenderHint(QPainter::Antialiasing);
  const State state = CurrentState();
  QStyle* style = b->style();
  if (ThemeAvailable()) {
    // A vertical scroll-bar thumb filling the button.
    QStyleOptionSlider thumb;
    thumb.initFrom(b);
    thumb.orientation = Qt::Vertical;
    thumb.state &= ~(QStyle::State_Horizontal | QStyle::State_Sunken | QStyle::State_MouseOver);
    thumb.minimum = 0;
    thumb.maximum = 0;
    thumb.subControls = QStyle::SC_ScrollBarSlider;
    if (state == kPressed) {
      thumb.state |= QStyle::State_Sunken;
      thumb.activeSubControls = QStyle::SC_ScrollBarSlider;
    } else if (state == kHot) {
      thumb.state |= QStyle::State_MouseOver;
      thumb.activeSubControls = QStyle::SC_ScrollBarSlider;
    }
    style->drawControl(QStyle::CE_ScrollBarSlider, &thumb, &painter, b);
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
