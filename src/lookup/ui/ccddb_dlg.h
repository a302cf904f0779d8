// The loading window: "Loading disc data..." beside a small spinning disc,
// shown while the disc lookup runs. Created once per process on the first
// lookup, owned by the Format dialog, shown and hidden per lookup; it lives
// in the user-interface thread only.
#pragma once
#include <QFrame>
#include <array>
#include <memory>

class QLabel;

namespace tonvik {

class PNGImage;

class CCDDBDlg : public QFrame {
  Q_OBJECT
 public:
  static constexpr int kFrames = 8;        // PNG resources 256 to 263
  static constexpr int kFramePeriodMs = 100;

  // Centred over `owner` (over the screen without one), not yet visible.
  explicit CCDDBDlg(QWidget* owner);
  ~CCDDBDlg() override;

  int frameIndex() const { return frame_; }
  bool animating() const { return timer_ != 0; }  // the frames turn while shown
  QWidget* imageControl() const { return image_; }  // 1019
  QLabel* textControl() const { return text_; }     // 1009
  // The current frame over the button face, as control 1019 paints it.
  QImage FrameImage() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  std::array<std::shared_ptr<PNGImage>, kFrames> frames_;
  int frame_ = 0;
  int timer_ = 0;  // the animation timer (id 19 in the resource script), while shown
  QWidget* image_ = nullptr;
  QLabel* text_ = nullptr;
};

}  // namespace tonvik
