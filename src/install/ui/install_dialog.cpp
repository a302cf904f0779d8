#include "install/ui/install_dialog.h"

#include <QLabel>
#include <QProgressBar>

#include "install/ui/task_dialog.h"

namespace tonvik::install {

InstallDialog::InstallDialog(const SetupFonts& fonts, InstallState& state, InstallStarter start, QWidget* parent)
    : WizardPage(fonts, kBackgroundId, QStringLiteral("Installation progress"),
                 QStringLiteral("Wait while Tonvik is being installed..."), parent),
      state_(state),
      start_(std::move(start)) {
  status_ = AddText("1008", QStringLiteral("Installation progress"), fonts.text, 90, 130, 420, 12);
  progress_ = new QProgressBar(this);
  Place(progress_, "1009", 90, 146, 420, 12);
  progress_->setTextVisible(false);
  progress_->setRange(0, 0);  // a marquee until the page ends
}

InstallDialog::~InstallDialog() {
  // A page closed under a running worker asks it to stop, and is not held up
  // by one that cannot stop at once: that one is let go, cut off from the page.
  if (worker_) worker_->StopWithin(kStopPatience);
  worker_.reset();
}

void InstallDialog::showEvent(QShowEvent* event) {
  WizardPage::showEvent(event);
  if (started_) return;
  started_ = true;
  worker_ = start_(*this, state_);
}

void InstallDialog::ShowStatus(const std::u16string& text) { SetStatusLater(status_, text); }

// The worker gives the bar a range and steps it, but a marquee keeps moving
// without a position: a range would turn it into a bar that creeps and then
// stands still between packages. The steps are only counted.
void InstallDialog::SetProgressRange(int, int) {}

void InstallDialog::StepProgress() {
  QMetaObject::invokeMethod(this, [this] { ++steps_; }, Qt::QueuedConnection);
}

void InstallDialog::InstallFinished() {
  QMetaObject::invokeMethod(this, [this] { Finished(); }, Qt::QueuedConnection);
}

void InstallDialog::Finished() {
  worker_.reset();  // its thread has made its last call
  if (state_.error) {
    ShowMessageBox(this, QString::fromLatin1(kSetupCaption), QString::fromStdU16String(state_.error_text),
                   QMessageBox::Critical);
    done(kPageStop);
  } else {
    done(kPageGoOn);
  }
}

}  // namespace tonvik::install
