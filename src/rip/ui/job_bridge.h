// The job thread's way into the progress dialog. Shared by the dialog and the
// job thread; once the dialog is gone (a job thread abandoned after a cancel)
// every call does nothing and the prompt answers "skip".
#pragma once
#include <QMetaObject>
#include <QPointer>
#include <QString>
#include <mutex>

#include "rip/job_observer.h"
#include "output/overwrite.h"

namespace tonvik {

class ProgressDialog;

class JobBridge : public RipObserver, public OverwritePrompt {
 public:
  explicit JobBridge(ProgressDialog* dialog);
  // Called by the dialog (UI thread) as it goes away.
  void Detach();

  void SetCurrentTrackText(const std::u16string& text) override;
  std::u16string CurrentTrackText() override;
  void ResetTrackBar(int32_t track_bytes) override;
  void ResetTotalBar(int32_t total_bytes) override;
  void AddError(const std::u16string& entry) override;
  void PlayCompletionSound() override;
  void OpenOutputFolder(const std::u16string& folder) override;
  void JobFinished() override;
  Answer AskOverwrite(const std::u16string& path) override;

 private:
  // Runs f in the dialog's thread and waits for it; false when detached.
  template <typename F>
  bool Blocking(F f);

  std::mutex mutex_;
  QPointer<ProgressDialog> dialog_;
};

}  // namespace tonvik
