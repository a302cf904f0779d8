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
  progress_->setRange(0, 0);  // moving until the worker gives the bar a range
}

InstallDialog::~InstallDialog() { worker_.reset(); }

void InstallDialog::showEvent(QShowEvent* event) {
  WizardPage::showEvent(event);
  if (started_) return;
  started_ = true;
  worker_ = start_(*this, state_);
}

void InstallDialog::ShowStatus(const std::u16string& text) { SetStatusLater(status_, text); }

void InstallDialog::SetProgressRange(int minimum, int maximum) {
  QMetaObject::invokeMethod(
      this,
      [this, minimum, maximum] {
        progress_->setRange(minimum, maximum);
        progress_->setValue(minimum);
      },
      Qt::QueuedConnection);
}

void InstallDialog::StepProgress() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (progress_->maximum() > progress_->minimum())
          progress_->setValue(std::min(progress_->value() + 1, progress_->maximum()));
      },
      Qt::QueuedConnection);
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
