// An image push button: attaches to an existing QPushButton and paints it as
// a bevel with a picture instead of text. The text stays the button's (it gives
// the keyboard mnemonic and the accessible name) but is not drawn.
#pragma once
#include <QPoint>
#include <memory>

#include "widgets/attached_button.h"
#include "widgets/png_image.h"

namespace tonvik {

class PNGButton : public AttachedButton {
  Q_OBJECT
 public:
  // Look of the push-button part, in the theme's numbering.
  enum State { kNormal = 1, kHot = 2, kPressed = 3, kDisabled = 4, kDefaulted = 5 };

  explicit PNGButton(QObject* parent = nullptr) : AttachedButton(parent) {}

  // The picture may be shared with other buttons.
  void SetImage(std::shared_ptr<PNGImage> image);
  std::shared_ptr<PNGImage> Image() const { return image_; }
  // Offset of the picture inside the content rectangle; (1, 0) by default.
  void SetImageOffset(int x, int y);
  void SetToolTipText(const QString& text);

  // The look the button shows now: pressed, else disabled, else hot (mouse
  // over), else defaulted (focused), else normal.
  State CurrentState() const;

 private:
  void Paint() override;

  std::shared_ptr<PNGImage> image_;
  QPoint offset_{1, 0};
};

}  // namespace tonvik
