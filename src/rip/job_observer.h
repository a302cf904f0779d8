// How the rip job reports to whoever shows it (the progress dialog, or a test).
// All calls come from the job thread. The dialog implements the "sent" ones as
// blocking calls into its own thread and JobFinished as a posted one.
#pragma once
#include <cstdint>
#include <string>

namespace tonvik {

class RipObserver {
 public:
  virtual ~RipObserver() = default;
  // The "Current track" frame.
  virtual void SetCurrentTrackText(const std::u16string& text) = 0;
  virtual std::u16string CurrentTrackText() = 0;
  // Bar ranges (0 .. max bytes) and the positions set back to 0 at their start.
  virtual void ResetTrackBar(int32_t track_bytes) = 0;
  virtual void ResetTotalBar(int32_t total_bytes) = 0;
  // More of the current track went to its encoder: `track_done` bytes of it so
  // far. The dialog reads the job's counters on its timer and ignores this;
  // a test stops or pauses the job at a chosen point of the track with it.
  virtual void TrackProgress(int32_t /*track_done*/) {}
  // One entry of the final error list.
  virtual void AddError(const std::u16string& entry) = 0;
  // End actions; each only when its option is set.
  virtual void PlayCompletionSound() = 0;
  virtual void OpenOutputFolder(const std::u16string& folder) = 0;
  // The job has ended (posted: must not block).
  virtual void JobFinished() = 0;
};

}  // namespace tonvik
