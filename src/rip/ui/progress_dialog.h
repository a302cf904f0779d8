// The progress dialog: runs the rip session's job on a thread of its own and
// shows it.
//
// Threads: the dialog lives in the UI thread and owns the job thread. The job
// thread reaches it only through JobBridge (a RipObserver and OverwritePrompt),
// whose calls are queued into the UI thread: blocking where the job needs the
// answer or the text must be shown before it goes on, posted for "job
// finished". The job's counters are read by the 500 ms timer. The dialog joins
// the job thread when it ends; a job that ignored a cancel for 5 seconds (a
// reader stuck in a drive) is handed to the abandoned threads with a share of
// the session, so the dialog never blocks.
#pragma once
#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <memory>
#include <thread>
#include <vector>

#include "core/settings.h"
#include "rip/rip_job.h"
#include "rip/rip_session.h"
#include "rip/time_estimate.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;

namespace tonvik {

class PNGImage;
class PNGButton;
class CHelpSupport;
class JobBridge;

class ProgressDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ProgressDialog(std::shared_ptr<RipSession> session, QWidget* parent = nullptr);
  ~ProgressDialog() override;

  // The error list as shown at the end (entries separated by LF).
  const QString& errors() const { return errors_; }
  bool paused() const { return paused_; }
  // What the dialog shares with the job thread: the cancel flag and the pause
  // event, on which a paused job is seen waiting.
  const RipControl& control() const { return *control_; }
  bool hiddenInTray() const { return hidden_; }
  // The job thread did not end in time after a cancel and was handed over.
  bool jobAbandoned() const { return abandoned_; }

  QPushButton* pauseButton() const { return pause_button_; }
  QPushButton* cancelButton() const { return cancel_button_; }
  QPushButton* hideButton() const { return hide_button_; }
  QString timeText() const;

  // The calls of the job, run in the UI thread.
  void AppendError(const QString& entry);
  void SetCurrentTrackText(const QString& text);
  QString CurrentTrackText() const;
  void ResetTrackBar(int32_t max);
  void ResetTotalBar(int32_t max);
  bool AskOverwrite(const QString& path, bool* remember);
  void OnJobFinished();

 public slots:
  void TogglePause();
  void RequestCancel();
  void HideToTray();
  void RestoreFromTray();

 protected:
  void showEvent(QShowEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void reject() override;  // Escape and the close box are Cancel

 private:
  void BuildControls();
  void StartJob();
  void UpdateProgress();
  void Finish();

  std::shared_ptr<RipSession> session_;
  RipJob& job_;
  Settings settings_;
  std::shared_ptr<RipControl> control_ = std::make_shared<RipControl>();
  std::shared_ptr<JobBridge> bridge_;
  std::thread job_thread_;
  // Set by the job thread as its last act.
  std::shared_ptr<std::atomic<bool>> job_done_ = std::make_shared<std::atomic<bool>>(false);
  bool started_ = false, paused_ = false, finishing_ = false, hidden_ = false, abandoned_ = false;
  QString saved_caption_;
  QString errors_;
  QElapsedTimer clock_;
  TimeEstimate estimate_;

  std::vector<QIcon> tray_icons_;
  int tray_index_ = 0;
  QSystemTrayIcon* tray_ = nullptr;

  std::vector<std::shared_ptr<PNGImage>> slots_;  // the picture's six frames
  int slot_index_ = 0;
  std::shared_ptr<PNGImage> pause_image_, paused_image_, cancel_image_, hide_image_;
  QPushButton* pause_button_ = nullptr;  // 1014
  QPushButton* cancel_button_ = nullptr;  // 2
  QPushButton* hide_button_ = nullptr;    // 1010
  PNGButton* pause_look_ = nullptr;       // paints the Pause button's picture
  QWidget* picture_ = nullptr;
  QGroupBox* current_box_ = nullptr;
  QLabel* time_text_ = nullptr;
  QProgressBar* track_bar_ = nullptr;
  QProgressBar* total_bar_ = nullptr;
  std::unique_ptr<CHelpSupport> help_;

  int picture_timer_ = 0, progress_timer_ = 0, tray_timer_ = 0, cancel_timer_ = 0;
};

}  // namespace tonvik
