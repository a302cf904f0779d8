#include "widgets/command_link.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace tonvik {

CommandLink::CommandLink(const QString& text, QWidget* parent, Look look) : QLabel(text, parent), look_(look) {
  setTextFormat(Qt::PlainText);
  setFocusPolicy(Qt::StrongFocus);  // a tab stop, like the text control it replaces
  setAttribute(Qt::WA_Hover);
  Restyle();
}

void CommandLink::SetLook(Look look) {
  look_ = look;
  Restyle();
}

void CommandLink::Detach() {
  link_ = false;
  hover_ = pressed_ = false;
  setFocusPolicy(Qt::NoFocus);
  Restyle();
}

void CommandLink::Restyle() {
  QFont f = font();
  f.setUnderline(link_ && (look_ == Look::AlwaysUnderline || (look_ == Look::HoverUnderline && hover_)));
  setFont(f);
  QPalette p = palette();
  const QPalette defaults = parentWidget() ? parentWidget()->palette() : QPalette();
  QColor colour = defaults.color(QPalette::WindowText);
  if (link_) colour = look_ == Look::NeverUnderlineBlack ? QColor(Qt::black) : defaults.color(QPalette::Link);
  p.setColor(QPalette::WindowText, colour);
  setPalette(p);
  setCursor(link_ ? Qt::PointingHandCursor : Qt::ArrowCursor);
  update();
}

void CommandLink::enterEvent(QEnterEvent* event) {
  hover_ = true;
  if (look_ == Look::HoverUnderline) Restyle();
  QLabel::enterEvent(event);
}

void CommandLink::leaveEvent(QEvent* event) {
  hover_ = false;
  if (look_ == Look::HoverUnderline) Restyle();
  QLabel::leaveEvent(event);
}

void CommandLink::mousePressEvent(QMouseEvent* event) {
  if (link_ && event->button() == Qt::LeftButton) {
    pressed_ = true;
    setFocus(Qt::MouseFocusReason);
    event->accept();
    return;
  }
  QLabel::mousePressEvent(event);
}

void CommandLink::mouseReleaseEvent(QMouseEvent* event) {
  if (pressed_ && event->button() == Qt::LeftButton) {
    pressed_ = false;
    event->accept();
    // Only a release over the link counts, as with a button.
    if (link_ && rect().contains(event->position().toPoint())) emit clicked();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void CommandLink::keyPressEvent(QKeyEvent* event) {
  if (link_ && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
    event->accept();
    emit clicked();
    return;
  }
  QLabel::keyPressEvent(event);
}

void CommandLink::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (link_ && hasFocus()) {
    QPainter painter(this);
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    const QRect text = fontMetrics().boundingRect(contentsRect(), int(alignment()), this->text());
    focus.rect = text.adjusted(-1, 0, 1, 0) & rect();
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
  }
}

void CommandLink::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::ParentChange) Restyle();
}

}  // namespace tonvik
