// The small "..." button that sits inside an edit box: attaches to an existing
// QPushButton and paints it as a scroll-bar thumb with three dots. Its text is
// not painted; it only gives the keyboard mnemonic ("&Browse").
#pragma once
#include <QObject>
#include <QPointer>
#include <QPushButton>

namespace tonvik {

class BrowseButton : public QObject {
  Q_OBJECT
 public:
  // Look of the scroll-thumb part, in the theme's numbering.
  enum State { kNormal = 1, kHot = 2, kPressed = 3, kDisabled = 4 };

  explicit BrowseButton(QObject* parent = nullptr) : QObject(parent) {}
  ~BrowseButton() override;

  bool Attach(QPushButton* button);
  QPushButton* Button() const { return button_; }
  void SetText(const QString& text);

  // Pressed, else disabled, else hot (mouse over or focused), else normal.
  State CurrentState() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Paint();
  QPointer<QPushButton> button_;
};

}  // namespace tonvik
