// A button living inside the right end of an edit box: the edit box's text
// area gives up a strip as wide as the button, and the button follows the
// strip whenever the edit box moves or changes size.
#pragma once
#include <QObject>
#include <QPointer>

class QAbstractButton;
class QLineEdit;

namespace tonvik {

// The thread's last error after a failed AttachBuddyButton.
inline constexpr int kErrorInvalidWindowHandle = 1400;
int LastBuddyError();

inline constexpr int kBuddySideRight = 2;

// The buddy record, one per edit box with a button. It is a child of the edit
// box and goes away with it; the text margin it took goes with it too.
class BuddyButtonData : public QObject {
  Q_OBJECT
 public:
  BuddyButtonData(QLineEdit* edit, QAbstractButton* button, int side);
  ~BuddyButtonData() override;

  int width;  // pixels, the button's width when attached
  QPointer<QAbstractButton> button;
  int side;  // kBuddySideRight, any other value: left

  // Puts the button into its strip.
  void Place();
  // Gives the edit box its margin back and removes the record (deletes it).
  void Detach();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* edit_;
};

// Attaches `button` inside `edit`; false with LastBuddyError() 1400, changing
// nothing, when either is null. Attaching again replaces the old record.
bool AttachBuddyButton(QLineEdit* edit, QAbstractButton* button);

// The record of an edit box, or null.
BuddyButtonData* FindBuddyButtonData(const QLineEdit* edit);

}  // namespace tonvik
