#include "widgets/attached_button.h"

#include <QEvent>

namespace tonvik {

AttachedButton::~AttachedButton() {
  if (button_) button_->removeEventFilter(this);
}

bool AttachedButton::Attach(QPushButton* button) {
  if (!button) return false;
  if (button_) button_->removeEventFilter(this);
  button_ = button;
  button_->setAttribute(Qt::WA_Hover);  // repaint on enter and leave for the hot look
  button_->installEventFilter(this);
  button_->update();
  return true;
}

void AttachedButton::SetText(const QString& text) {
  if (!button_) return;
  button_->setText(text);
  button_->setAccessibleName(QString(text).remove(QLatin1Char('&')));
}

bool AttachedButton::eventFilter(QObject* watched, QEvent* event) {
  // The type first: reading button_ casts to QPushButton, and while the button
  // is being destroyed it is no QPushButton any more. It gets no paint events then.
  if (event->type() == QEvent::Paint && watched == button_) {
    Paint();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace tonvik
