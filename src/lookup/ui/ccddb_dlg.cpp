#include "lookup/ui/ccddb_dlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

#include "widgets/dialog_units.h"
#include "widgets/png_image.h"

namespace tonvik {
namespace {

// Control 1019: the current frame over the button face.
class FrameControl : public QWidget {
 public:
  explicit FrameControl(CCDDBDlg* owner) : QWidget(owner), owner_(owner) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    p.drawImage(0, 0, owner_->FrameImage());
  }

 private:
  CCDDBDlg* owner_;
};

}  // namespace

CCDDBDlg::CCDDBDlg(QWidget* owner) : QFrame(owner, Qt::Dialog | Qt::CustomizeWindowHint) {
  setObjectName(QStringLiteral("CCDDBDlg"));
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(2);
  DialogUnits du(font());
  setFixedSize(du.X(103), du.Y(18));

  image_ = new FrameControl(this);
  image_->setObjectName(QStringLiteral("frame_1019"));
  du.Place(image_, 7, 3, 16, 13);
  text_ = new QLabel(QStringLiteral("Loading disc data..."), this);
  text_->setObjectName(QStringLiteral("text_1009"));
  du.Place(text_, 28, 5, 72, 8);

  if (owner) {
    move(owner->frameGeometry().center() - rect().center());
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  for (int i = 0; i < kFrames; ++i) {
    frames_[size_t(i)] = std::make_shared<PNGImage>();
    frames_[size_t(i)]->Load(256 + i);
  }
  frame_ = 0;
}

CCDDBDlg::~CCDDBDlg() = default;

QImage CCDDBDlg::FrameImage() const {
  return frames_[size_t(frame_)]->OnColour(palette().color(QPalette::Button).rgb());
}

void CCDDBDlg::showEvent(QShowEvent* event) {
  QFrame::showEvent(event);
  if (!timer_) timer_ = startTimer(kFramePeriodMs);
}

void CCDDBDlg::hideEvent(QHideEvent* event) {
  QFrame::hideEvent(event);
  if (timer_) killTimer(timer_);
  timer_ = 0;
}

void CCDDBDlg::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timer_) return QFrame::timerEvent(event);
  frame_ = (frame_ + 1) % kFrames;
  image_->repaint();  // at once, not at the next paint
}

}  // namespace tonvik
