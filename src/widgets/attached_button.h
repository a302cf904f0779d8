// The part the image button and the browse button share: each attaches to an
// existing QPushButton and paints it in its own way instead of the style. The
// button keeps its owner, its text (the keyboard mnemonic and the accessible
// name) and its behaviour; only its paint events are taken over.
#pragma once
#include <QObject>
#include <QPointer>
#include <QPushButton>

namespace tonvik {

class AttachedButton : public QObject {
  Q_OBJECT
 public:
  ~AttachedButton() override;

  // Takes over the painting of `button`, giving a button attached before its
  // own painting back; false when `button` is null. This object stops painting
  // the button when either of them goes away.
  bool Attach(QPushButton* button);
  QPushButton* Button() const { return button_; }
  // The button's text; the accessible name is the text without '&'.
  void SetText(const QString& text);

 protected:
  explicit AttachedButton(QObject* parent) : QObject(parent) {}
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Paints the attached button, which is alive, for its paint event.
  virtual void Paint() = 0;

  QPointer<QPushButton> button_;
};

}  // namespace tonvik
