#include "rip/ui/job_bridge.h"

#include <QThread>
#include <atomic>

#include "rip/ui/completion_sound.h"
#include "widgets/app_resources.h"
#include "widgets/open_folder.h"
#include "rip/ui/progress_dialog.h"

namespace tonvik {

JobBridge::JobBridge(ProgressDialog* dialog) : dialog_(dialog) {}

void JobBridge::Detach() {
  std::lock_guard lock(mutex_);
  dialog_.clear();
}

template <typename F>
bool JobBridge::Blocking(F f) {
  QPointer<ProgressDialog> dialog;
  {
    std::lock_guard lock(mutex_);
    dialog = dialog_;
  }
  if (!dialog) return false;
  if (QThread::currentThread() == dialog->thread()) {
    f(dialog.data());
    return true;
  }
  // The dialog cannot go away while we wait: it detaches (in its own thread)
  // before it is destroyed, and this call is queued into that same thread.
  // Qt's blocking call orders the dialog's writes before our reads; the flag
  // says so in a way the thread sanitizer sees too.
  std::atomic<bool> ran{false};
  QMetaObject::invokeMethod(
      dialog.data(),
      [&] {
        if (dialog) {
          f(dialog.data());
          ran.store(true, std::memory_order_release);
        }
      },
      Qt::BlockingQueuedConnection);
  return ran.load(std::memory_order_acquire);
}

void JobBridge::SetCurrentTrackText(const std::u16string& text) {
  Blocking([&](ProgressDialog* d) { d->SetCurrentTrackText(QString::fromStdU16String(text)); });
}

std::u16string JobBridge::CurrentTrackText() {
  std::u16string text;
  Blocking([&](ProgressDialog* d) { text = d->CurrentTrackText().left(1023).toStdU16String(); });
  return text;
}

void JobBridge::ResetTrackBar(int32_t track_bytes) {
  Blocking([&](ProgressDialog* d) { d->ResetTrackBar(track_bytes); });
}

void JobBridge::ResetTotalBar(int32_t total_bytes) {
  Blocking([&](ProgressDialog* d) { d->ResetTotalBar(total_bytes); });
}

void JobBridge::AddError(const std::u16string& entry) {
  Blocking([&](ProgressDialog* d) { d->AppendError(QString::fromStdU16String(entry)); });
}

void JobBridge::PlayCompletionSound() {
  Blocking([](ProgressDialog*) { PlayCompletionSoundAsync(); });
}

void JobBridge::OpenOutputFolder(const std::u16string& folder) {
  Blocking([&](ProgressDialog*) { OpenFolder(folder); });
}

void JobBridge::JobFinished() {
  std::lock_guard lock(mutex_);
  if (dialog_) QMetaObject::invokeMethod(dialog_.data(), &ProgressDialog::OnJobFinished, Qt::QueuedConnection);
}

OverwritePrompt::Answer JobBridge::AskOverwrite(const std::u16string& path) {
  Answer answer{false, false};
  Blocking([&](ProgressDialog* d) {
    bool remember = false;
    answer.overwrite = d->AskOverwrite(QString::fromStdU16String(path), &remember);
    answer.remember = remember;
  });
  return answer;
}

}  // namespace tonvik
