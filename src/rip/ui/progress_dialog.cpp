#include "rip/ui/progress_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QTimerEvent>
#include <atomic>

#include "core/version.h"
#include "output/overwrite.h"
#include "platform/abandoned_threads.h"
#include "widgets/dialog_units.h"
#include "rip/ui/job_bridge.h"
#include "widgets/help_support.h"
#include "widgets/png_button.h"
#include "widgets/png_image.h"
#include "widgets/app_resources.h"
#include "widgets/theme.h"
#include <QPushButton>

namespace tonvik {
namespace {

// Control 1016: paints the current picture slot.
class Picture : public QWidget {
 public:
  explicit Picture(QWidget* parent) : QWidget(parent) {}
  std::shared_ptr<PNGImage> image;

 protected:
  void paintEvent(QPaintEvent*) override {
    if (!image) return;
    QPainter p(this);
    image->Draw(p, 0, 0, false);
  }
};

}  // namespace

ProgressDialog::ProgressDialog(std::shared_ptr<RipSession> session, QWidget* parent)
    : QDialog(parent),
      session_(std::move(session)),
      job_(session_->job),
      help_(std::make_unique<CHelpSupport>(HelpContext::ProgressDialog)) {
  bridge_ = std::make_shared<JobBridge>(this);
  BuildControls();
  help_->InstallHelpKey(this);
}

ProgressDialog::~ProgressDialog() {
  bridge_->Detach();
  session_->overwrite.SetPrompt(nullptr);
  if (job_thread_.joinable()) {
    // A job that has said it finished has only its closing lines left; any
    // other is told to stop and handed over rather than waited for.
    if (*job_done_ || (finishing_ && !abandoned_)) {
      job_thread_.join();
    } else {
      control_->cancel = 1;
      control_->pause->Set();
      AbandonThread(std::move(job_thread_), job_done_);
    }
  }
  if (tray_) tray_->hide();
}

void ProgressDialog::BuildControls() {
  setWindowTitle(QStringLiteral("Tonvik"));
  setWindowIcon(AppIcon());
  setObjectName(QStringLiteral("ProgressDialog"));
  DialogUnits du(font());
  setFixedSize(du.X(267), du.Y(74));
  ApplyThemedBackground(this);

  for (int i = 0; i < kTrayIconCount; ++i) tray_icons_.push_back(TrayIcon(i));

  auto* picture = new Picture(this);
  picture->setObjectName(QStringLiteral("picture_1016"));
  du.Place(picture, 4, 4, 72, 63);
  picture_ = picture;
  for (int i = 0; i < 6; ++i) {
    auto image = std::make_shared<PNGImage>();
    image->Load(229);
    slots_.push_back(image);
  }
  picture->image = slots_[0];

  current_box_ = new QGroupBox(QStringLiteral("Current track"), this);
  current_box_->setObjectName(QStringLiteral("current_1011"));
  du.Place(current_box_, 78, 1, 158, 28);
  track_bar_ = new QProgressBar(this);
  track_bar_->setObjectName(QStringLiteral("track_bar_1012"));
  track_bar_->setTextVisible(false);
  du.Place(track_bar_, 84, 13, 146, 10);

  auto* total_box = new QGroupBox(QStringLiteral("Total"), this);
  du.Place(total_box, 78, 31, 158, 28);
  total_bar_ = new QProgressBar(this);
  total_bar_->setObjectName(QStringLiteral("total_bar_1013"));
  total_bar_->setTextVisible(false);
  du.Place(total_bar_, 84, 43, 146, 10);
  track_bar_->raise();
  total_bar_->raise();

  time_text_ = new QLabel(QStringLiteral("Time elapsed: n/a. Time left: n/a."), this);
  time_text_->setObjectName(QStringLiteral("time_1008"));
  du.Place(time_text_, 80, 62, 156, 9);

  pause_image_ = std::make_shared<PNGImage>();
  pause_image_->Load(243);
  paused_image_ = std::make_shared<PNGImage>();
  paused_image_->Load(241);
  cancel_image_ = std::make_shared<PNGImage>();
  cancel_image_->Load(232);
  hide_image_ = std::make_shared<PNGImage>();
  hide_image_->Load(242);

  auto make_button = [&](const char* name, int y, std::shared_ptr<PNGImage> image,
                         const QString& tip, const QString& text, PNGButton** look = nullptr) {
    auto* b = new QPushButton(this);
    b->setObjectName(QString::fromLatin1(name));
    du.Place(b, 241, y, 21, 19);
    b->setAutoDefault(false);
    auto* png = new PNGButton(this);
    png->Attach(b);
    png->SetImage(std::move(image));
    png->SetImageOffset(1, 0);
    png->SetToolTipText(tip);
    png->SetText(text);
    if (look) *look = png;
    return b;
  };
  pause_button_ = make_button("pause_1014", 5, pause_image_, QStringLiteral("Pause disc ripping"),
                              QStringLiteral("&Pause"), &pause_look_);
  cancel_button_ = make_button("cancel_2", 26, cancel_image_,
                               QStringLiteral("Cancel converting disc and quit"),
                               QStringLiteral("&Cancel"));
  hide_button_ = make_button("hide_1010", 48, hide_image_, QStringLiteral("Hide converter to tray"),
                             QStringLiteral("&Hide to tray"));
  connect(pause_button_, &QPushButton::clicked, this, &ProgressDialog::TogglePause);
  connect(cancel_button_, &QPushButton::clicked, this, &ProgressDialog::RequestCancel);
  connect(hide_button_, &QPushButton::clicked, this, &ProgressDialog::HideToTray);
}

void ProgressDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!started_) {
    started_ = true;
    picture_timer_ = startTimer(220);
    StartJob();
  }
}

void ProgressDialog::StartJob() {
  session_->overwrite.SetPrompt(bridge_.get());
  // The thread holds its own shares of what it uses, so it may outlive the dialog.
  job_thread_ = std::thread([session = session_, control = control_, bridge = bridge_, done = job_done_] {
    RunRipJob(*session, *control, *bridge);
    done->store(true);
  });
  clock_.start();
  progress_timer_ = startTimer(500);
}

void ProgressDialog::timerEvent(QTimerEvent* event) {
  const int id = event->timerId();
  if (id == picture_timer_) {
    slot_index_ = (slot_index_ + 1) % 6;
    static_cast<Picture*>(picture_)->image = slots_[slot_index_];
    picture_->repaint();
  } else if (id == progress_timer_) {
    UpdateProgress();
  } else if (id == tray_timer_) {
    tray_index_ = (tray_index_ + 1) % 12;
    if (tray_) tray_->setIcon(tray_icons_[tray_index_]);
  } else if (id == cancel_timer_) {
    // The job did not stop within 5 seconds of the cancel: leave it behind.
    killTimer(cancel_timer_);
    cancel_timer_ = 0;
    if (!finishing_) {
      abandoned_ = true;
      OnJobFinished();
    }
  }
}

void ProgressDialog::UpdateProgress() {
  const QString text = QString::fromStdU16String(estimate_.Tick(
      static_cast<uint32_t>(clock_.elapsed()), static_cast<uint32_t>(job_.total_bytes.load()),
      job_.total_done.load()));
  time_text_->setText(text);
  track_bar_->setValue(job_.track_done.load());
  total_bar_->setValue(static_cast<int>(job_.total_done.load()));
}

void ProgressDialog::TogglePause() {
  if (!paused_) {
    saved_caption_ = windowTitle().left(127);
    setWindowTitle(saved_caption_ + QStringLiteral(" [paused]"));
    pause_look_->SetImage(paused_image_);
    pause_button_->repaint();
    control_->pause->Reset();
    paused_ = true;
  } else {
    setWindowTitle(saved_caption_);
    pause_look_->SetImage(pause_image_);
    pause_button_->repaint();
    control_->pause->Set();
    paused_ = false;
  }
}

void ProgressDialog::RequestCancel() {
  if (finishing_) return;
  // The flag goes up before the workers are released, so a paused reader
  // sees it and stops without reading.
  control_->cancel = 1;
  if (paused_) TogglePause();
  if (!cancel_timer_) cancel_timer_ = startTimer(5000);
}

void ProgressDialog::reject() { RequestCancel(); }

QString ProgressDialog::timeText() const { return time_text_->text(); }

void ProgressDialog::HideToTray() {
  if (hidden_) return;
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    // No notification area: minimise, so the window can always come back.
    showMinimized();
    return;
  }
  if (!tray_) {
    tray_ = new QSystemTrayIcon(this);
    tray_->setToolTip(QString::fromStdU16String(kCaption));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
      if (r == QSystemTrayIcon::Trigger) RestoreFromTray();
    });
  }
  tray_->setIcon(tray_icons_[tray_index_]);
  tray_->show();
  hide();
  hidden_ = true;
  tray_timer_ = startTimer(100);
}

void ProgressDialog::RestoreFromTray() {
  if (!hidden_) return;
  show();
  if (tray_) tray_->hide();
  if (tray_timer_) killTimer(tray_timer_);
  tray_timer_ = 0;
  hidden_ = false;
  activateWindow();
  raise();
}

void ProgressDialog::AppendError(const QString& entry) {
  if (!errors_.isEmpty()) errors_ += QLatin1Char('\n');
  errors_ += entry;
}

void ProgressDialog::SetCurrentTrackText(const QString& text) { current_box_->setTitle(text); }

QString ProgressDialog::CurrentTrackText() const { return current_box_->title(); }

void ProgressDialog::ResetTrackBar(int32_t max) {
  track_bar_->setRange(0, std::max(max, 1));
  track_bar_->setValue(0);
}

void ProgressDialog::ResetTotalBar(int32_t max) {
  total_bar_->setRange(0, std::max(max, 1));
  total_bar_->setValue(0);
}

bool ProgressDialog::AskOverwrite(const QString& path, bool* remember) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdU16String(kCaption),
                  QStringLiteral("The target file already exists. Do you wish to overwrite?"),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setObjectName(QStringLiteral("OverwritePrompt"));
  box.setInformativeText(path);
  auto* check = new QCheckBox(QStringLiteral("Remember my choice for all files"), &box);
  box.setCheckBox(check);
  const int answer = box.exec();
  *remember = check->isChecked();
  return answer == QMessageBox::Yes;
}

void ProgressDialog::OnJobFinished() {
  if (finishing_) return;
  Finish();
}

void ProgressDialog::Finish() {
  finishing_ = true;
  if (cancel_timer_) killTimer(cancel_timer_);
  if (progress_timer_) killTimer(progress_timer_);
  if (picture_timer_) killTimer(picture_timer_);
  cancel_timer_ = progress_timer_ = picture_timer_ = 0;
  UpdateProgress();
  if (hidden_) RestoreFromTray();
  if (isMinimized()) showNormal();
  if (!errors_.isEmpty()) {
    QMessageBox box(QMessageBox::Information, QString::fromStdU16String(kCaption),
                    QStringLiteral("The following errors were encountered"), QMessageBox::Close,
                    this);
    box.setObjectName(QStringLiteral("ErrorList"));
    box.setInformativeText(errors_);
    box.exec();
  }
  done(1);
}

}  // namespace tonvik
