#include "widgets/buddy_button.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

namespace tonvik {

namespace {
thread_local int last_error = 0;
constexpr char kDataProperty[] = "BuddyButtonData";

// The edit box's text area with no margins: what the frame leaves.
QRect ClientRect(const QLineEdit* edit) {
  QStyleOptionFrame option;
  option.initFrom(edit);
  option.rect = edit->rect();
  option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  return edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
}
}  // namespace

int LastBuddyError() { return last_error; }

BuddyButtonData::BuddyButtonData(QLineEdit* edit, QAbstractButton* b, int s)
    : QObject(edit), width(b->width()), button(b), side(s), edit_(edit) {
  QMargins margins = edit->textMargins();
  if (side == kBuddySideRight) margins.setRight(margins.right() + width);
  else margins.setLeft(margins.left() + width);
  edit->setTextMargins(margins);
  edit->setProperty(kDataProperty, QVariant::fromValue(static_cast<QObject*>(this)));
  edit->installEventFilter(this);
  Place();
}

// Runs when the edit box is destroyed, as its child: the edit box is already
// half gone then, so nothing of it is touched; its properties die with it.
BuddyButtonData::~BuddyButtonData() = default;

void BuddyButtonData::Detach() {
  edit_->removeEventFilter(this);
  edit_->setProperty(kDataProperty, QVariant());
  QMargins margins = edit_->textMargins();
  if (side == kBuddySideRight) margins.setRight(std::max(0, margins.right() - width));
  else margins.setLeft(std::max(0, margins.left() - width));
  edit_->setTextMargins(margins);
  delete this;
}

void BuddyButtonData::Place() {
  if (!button) return;
  const QRect client = ClientRect(edit_);
  QRect strip = side == kBuddySideRight
                    ? QRect(client.right() + 1 - width, client.top(), width, client.height())
                    : QRect(client.left(), client.top(), width, client.height());
  QWidget* parent = button->parentWidget();
  if (parent == edit_) {
    button->setGeometry(strip);
  } else if (parent) {
    button->setGeometry(QRect(parent->mapFromGlobal(edit_->mapToGlobal(strip.topLeft())), strip.size()));
  }
}

bool BuddyButtonData::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_) {
    switch (event->type()) {
      case QEvent::Resize:
      case QEvent::Move:
      case QEvent::StyleChange:
        Place();
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}

bool AttachBuddyButton(QLineEdit* edit, QAbstractButton* button) {
  if (!edit || !button) {
    last_error = kErrorInvalidWindowHandle;
    return false;
  }
  if (BuddyButtonData* old = FindBuddyButtonData(edit)) old->Detach();
  new BuddyButtonData(edit, button, kBuddySideRight);  // owned by the edit box
  if (button->parentWidget() != edit) button->raise();
  return true;
}

BuddyButtonData* FindBuddyButtonData(const QLineEdit* edit) {
  if (!edit) return nullptr;
  return qobject_cast<BuddyButtonData*>(edit->property(kDataProperty).value<QObject*>());
}

}  // namespace tonvik
