// The installation page: starts the installation worker when it shows and
// follows it on the status line; the bar moves as a marquee for the whole
// installation. It cannot be left while the worker runs (Next and Cancel do
// nothing) and ends when the worker is done.
#pragma once
#include <chrono>
#include <functional>
#include <memory>

#include "install/install_worker.h"
#include "install/ui/wizard_page.h"

class QLabel;
class QProgressBar;

namespace tonvik::install {

// Starts the worker; the page keeps what it returns until the worker has
// finished, and releasing it waits for the worker's thread. A page closed
// while the worker runs asks it to stop and waits no more than
// InstallDialog::kStopPatience (see PageWorker).
using InstallStarter = std::function<std::shared_ptr<PageWorker>(InstallView&, InstallState&)>;

// An InstallWorker for the running setup program (with kestrane.msi on a
// 64-bit kernel under a 32-bit build).
InstallStarter DefaultInstallStarter();

class InstallDialog : public WizardPage, public InstallView {
  Q_OBJECT
 public:
  static constexpr int kDialogId = 204;
  static constexpr int kBackgroundId = 207;
  // How long closing the page waits for a worker asked to stop.
  static constexpr std::chrono::milliseconds kStopPatience{1000};

  InstallDialog(const SetupFonts& fonts, InstallState& state, InstallStarter start = DefaultInstallStarter(),
                QWidget* parent = nullptr);
  ~InstallDialog() override;

  // The worker's calls, from any thread: each is carried out on the page's.
  void ShowStatus(const std::u16string& text) override;
  void SetProgressRange(int minimum, int maximum) override;
  void StepProgress() override;
  void InstallFinished() override;

  QLabel* statusLine() const { return status_; }
  QProgressBar* progressBar() const { return progress_; }
  // The worker's progress steps so far, counted on the page's thread. They
  // do not move the bar: a marquee has no position.
  int ProgressSteps() const { return steps_; }
  bool Started() const { return started_; }

 protected:
  void Next() override {}
  void Cancel() override {}
  void showEvent(QShowEvent* event) override;

 private:
  void Finished();

  InstallState& state_;
  InstallStarter start_;
  std::shared_ptr<PageWorker> worker_;
  bool started_ = false;
  int steps_ = 0;

  QLabel* status_ = nullptr;          // 1008
  QProgressBar* progress_ = nullptr;  // 1009
};

}  // namespace tonvik::install
