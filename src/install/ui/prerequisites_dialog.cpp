#include "install/ui/prerequisites_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "install/ui/task_dialog.h"

namespace tonvik::install {

PrerequisitesDialog::PrerequisitesDialog(const SetupFonts& fonts, SetupState& state, PrerequisitesServices services,
                                         QWidget* parent)
    : WizardPage(fonts, kBackgroundId, QStringLiteral("Prerequisites"),
                 QStringLiteral("Checking your system for additional components required for installation"), parent),
      state_(state),
      services_(std::move(services)) {
  headline_ = AddText("1001", QString(), fonts.text, 90, 52, 420, 24);
  const char* box_ids[] = {"1002", "1003"};
  const char* name_ids[] = {"1004", "1006"};
  const char* description_ids[] = {"1005", "1007"};
  for (int i = 0; i < 2; ++i) {
    const int y = 84 + 48 * i;
    boxes_[i] = new QCheckBox(this);
    Place(boxes_[i], box_ids[i], 90, y, 10, 10);
    OnControlBrush(boxes_[i]);
    connect(boxes_[i], &QCheckBox::clicked, this, &PrerequisitesDialog::UpdateNote);
    names_[i] = AddText(name_ids[i], QString(), fonts.bold, 104, y, 410, 11);
    descriptions_[i] = AddText(description_ids[i], QString(), fonts.text, 104, y + 13, 410, 30);
  }
  status_ = AddText("1008", QString(), fonts.text, 90, 130, 420, 12);
  progress_ = new QProgressBar(this);
  Place(progress_, "1009", 90, 146, 420, 12);
  progress_->setRange(0, 100);
  progress_->setTextVisible(false);
  note_ = AddText("1010", QStringLiteral("* Internet connection required"), fonts.small, 90, 292, 300, 10);
}

PrerequisitesDialog::~PrerequisitesDialog() {
  // A page closed under a running worker asks it to stop, and is not held up
  // by one that cannot stop at once (an installer that runs on): that one is
  // let go, cut off from the page, and removes its downloads when it ends.
  if (worker_) worker_->StopWithin(kStopPatience);
  worker_.reset();
}

std::optional<int> PrerequisitesDialog::Open() {
  ShowStatusOnly(QStringLiteral("Checking system configuration"));

  components_ = services_.detect();
  if (components_.size() > 2) components_.resize(2);
  if (components_.empty()) return kPageGoOn;

  headline_->setText(QStringLiteral("Pick the optional components you would like to install. Note that strictly "
                                    "required components must be installed anyway."));
  headline_->show();
  status_->hide();
  progress_->hide();
  for (size_t i = 0; i < components_.size(); ++i) {
    const Prerequisite& c = components_[i];
    boxes_[i]->setChecked(true);
    boxes_[i]->setEnabled(!c.required);
    boxes_[i]->show();
    names_[i]->setText(QString::fromStdU16String(c.name));
    names_[i]->show();
    descriptions_[i]->setText(QString::fromStdU16String(c.description));
    descriptions_[i]->show();
  }
  nextButton()->setEnabled(true);
  UpdateNote();
  return std::nullopt;
}

void PrerequisitesDialog::ShowStatusOnly(const QString& text) {
  status_->setText(text);
  status_->show();
  progress_->setValue(0);
  progress_->show();
  headline_->hide();
  for (int i = 0; i < 2; ++i) {
    boxes_[i]->hide();
    names_[i]->hide();
    descriptions_[i]->hide();
  }
  note_->hide();
  nextButton()->setEnabled(false);
}

void PrerequisitesDialog::UpdateNote() {
  bool needs_download = false;
  for (size_t i = 0; i < components_.size(); ++i) {
    if (boxes_[i]->isChecked() && components_[i].local_file.empty()) needs_download = true;
  }
  note_->setVisible(needs_download);
  update();
}

void PrerequisitesDialog::Next() {
  if (working_) return;
  bool any = false;
  for (size_t i = 0; i < components_.size(); ++i) any = any || boxes_[i]->isChecked();
  if (!any) {
    done(kPageGoOn);  // nothing to install
    return;
  }
  for (size_t i = 0; i < components_.size(); ++i) components_[i].selected = boxes_[i]->isChecked();
  ShowStatusOnly(QStringLiteral("Starting prerequisites installation"));
  update();
  working_ = true;
  worker_ = services_.start_worker(components_, *this, state_);
}

void PrerequisitesDialog::CancelConfirmed() {
  if (!working_) {
    done(kPageStop);
    return;
  }
  // The worker stops at its next chance and ends the page through WorkerFinished.
  state_.abort_requested = true;
}

void PrerequisitesDialog::ShowStatus(const std::u16string& text) { SetStatusLater(status_, text); }

void PrerequisitesDialog::ShowProgress(int percent) {
  QMetaObject::invokeMethod(this, [this, percent] { progress_->setValue(percent); }, Qt::QueuedConnection);
}

void PrerequisitesDialog::WorkerFinished() {
  QMetaObject::invokeMethod(this, [this] { Finished(); }, Qt::QueuedConnection);
}

void PrerequisitesDialog::Finished() {
  worker_.reset();  // its thread has made its last call
  working_ = false;
  if (state_.error) {
    ShowErrorTask(this, QString::fromLatin1(kSetupCaption), QStringLiteral("Error"),
                  QString::fromStdU16String(state_.error_text));
    done(kPageStop);
  } else {
    done(kPageGoOn);
  }
}

}  // namespace tonvik::install
