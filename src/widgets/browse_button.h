// The small "..." button that sits inside an edit box: attaches to an existing
// QPushButton and paints it as a scroll-bar thumb with three dots. Its text is
// not painted; it only gives the keyboard mnemonic ("&Browse").
#pragma once
#include "widgets/attached_button.h"

namespace tonvik {

class BrowseButton : public AttachedButton {
  Q_OBJECT
 public:
  // Look of the scroll-thumb part, in the theme's numbering.
  enum State { kNormal = 1, kHot = 2, kPressed = 3, kDisabled = 4 };

  explicit BrowseButton(QObject* parent = nullptr) : AttachedButton(parent) {}

  // Pressed, else disabled, else hot (mouse over or focused), else normal.
  State CurrentState() const;

 private:
  void Paint() override;
};

}  // namespace tonvik
