#include "widgets/png_button.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <qdrawutil.h>

#include "widgets/theme.h"

namespace tonvik {

void PNGButton::SetImage(std::shared_ptr<PNGImage> image) {
  image_ = std::move(image);
  if (button_) button_->update();
}

void PNGButton::SetImageOffset(int x, int y) {
  offset_ = QPoint(x, y);
  if (button_) button_->update();
}

void PNGButton::SetToolTipText(const QString& text) {
  if (button_) button_->setToolTip(text);
}

PNGButton::State PNGButton::CurrentState() const {
  if (!button_) return kNormal;
  if (button_->isDown()) return kPressed;
  if (!button_->isEnabled()) return kDisabled;
  if (button_->underMouse()) return kHot;
  if (button_->hasFocus()) return kDefaulted;
  return kNormal;
}

namespace {
// A button larger than its picture would show it stuck to the top-left corner;
// the picture keeps its offset but sits in the middle of the spare room.
QPoint Centring(const QRect& content, int width, int height) {
  return QPoint(std::max(0, (content.width() - width) / 2), std::max(0, (content.height() - height) / 2));
}
}  // namespace

void PNGButton::Paint() {
  QPushButton* b = button_;
  QPainter painter(b);
  const bool disabled = !b->isEnabled();
  const State state = CurrentState();
  QStyle* style = b->style();
  QStyleOptionButton option;
  option.initFrom(b);
  option.features = b->isDefault() ? QStyleOptionButton::DefaultButton : QStyleOptionButton::None;
  option.state &= ~(QStyle::State_Sunken | QStyle::State_Raised | QStyle::State_MouseOver |
                    QStyle::State_HasFocus | QStyle::State_On);
  switch (state) {
    case kPressed: option.state |= QStyle::State_Sunken; break;
    case kHot: option.state |= QStyle::State_Raised | QStyle::State_MouseOver; break;
    case kDefaulted: option.state |= QStyle::State_Raised | QStyle::State_HasFocus; break;
    default: option.state |= QStyle::State_Raised; break;
  }
  QPoint origin;
  QRect content;
  if (ThemeAvailable()) {
    // The parent shows through the bevel's rounded corners by itself: the
    // button does not fill its background.
    style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, b);
    if (state == kHot) {
      // The hot look: a faint wash of the highlight colour inside the bevel.
      QColor wash = b->palette().color(QPalette::Highlight);
      wash.setAlpha(40);
      painter.setRenderHint(QPainter::Antialiasing);
      painter.setPen(Qt::NoPen);
      painter.setBrush(wash);
      painter.drawRoundedRect(QRectF(b->rect()).adjusted(1.5, 1.5, -1.5, -1.5), 2, 2);
      painter.setRenderHint(QPainter::Antialiasing, false);
    }
    content = style->subElementRect(QStyle::SE_PushButtonContents, &option, b);
    origin = content.topLeft();
  } else {
    const int edge = 2;
    qDrawWinButton(&painter, b->rect(), b->palette(), state == kPressed, &b->palette().button());
    content = b->rect().adjusted(edge, edge, -edge, -edge);
    origin = content.topLeft();
    if (b->hasFocus()) {
      QStyleOptionFocusRect focus;
      focus.initFrom(b);
      focus.rect = b->rect().adjusted(2 * edge, 2 * edge, -2 * edge, -2 * edge);
      style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, b);
    }
  }
  if (image_) {
    const QPoint at = origin + Centring(content, image_->Width(), image_->Height()) + offset_;
    image_->Draw(painter, at.x(), at.y(), disabled);
  }
}

}  // namespace tonvik
