// The rip job: reads the selected tracks one after the other, each by a
// reader thread into a pipe, and hands their PCM from there to the tracks'
// encoders, which run on the workers of an encoder pool (rip/encoder_pool.h).
//
// Threads: RunRipJob runs on the job thread. Per track it starts one reader
// thread (cdrom/reader_thread.h); the pool's workers live as long as the
// job's loop over the tracks. The UI thread only sets the cancel flag and the
// pause event and reads the counters on its timer.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/event.h"

namespace tonvik {

class RipObserver;
struct RipSession;

// The job of a rip session: where it writes, and how far it is. The counters
// are written by the job thread (total_done by the encoder workers) and read
// by the dialog's timer (a stale read only affects the display).
struct RipJob {
  std::u16string destination;  // folder chosen in the Format dialog

  std::atomic<int32_t> track_bytes{0};   // bytes of the current track (sectors x 2352)
  std::atomic<int32_t> track_done{0};    // bytes of it read (once reading is over: encoded)
  std::atomic<int32_t> total_bytes{0};   // all selected tracks
  std::atomic<uint32_t> total_done{0};   // bytes of the job encoded
};

// What the dialog and the job share. Held by shared_ptr: a job thread that
// outlives its dialog still finds it.
namespace cdrom {
struct ReaderJob;
}

struct RipControl {
  // The reader thread body; tests put a failing reader here.
  void (*reader)(std::shared_ptr<cdrom::ReaderJob>) = nullptr;  // nullptr: ReaderThreadMain
  std::atomic<uint8_t> cancel{0};
  // Signalled = running; the job and the reader wait on it before each unit.
  std::shared_ptr<ManualResetEvent> pause = std::make_shared<ManualResetEvent>(true);
  // How long the AccurateRip record may take, counted from the start of the
  // job; the job never waits for it longer. Tests shorten it.
  std::chrono::milliseconds accuraterip_bound{10000};
};

// Runs the session's job: the selected tracks of its disc, in its format,
// named from its metadata; fills its results. Returns when it has ended
// (normally, with errors or cancelled), after JobFinished.
void RunRipJob(RipSession& session, RipControl& control, RipObserver& observer);

// Texts of the job, as the user sees them.
inline constexpr char16_t kMsgCanceled[] = u"Canceled.";
inline constexpr char16_t kMsgCdReadError[] = u"CD read error.";
inline constexpr char16_t kMsgPipeReadError[] = u"Internal error #1597.";
inline constexpr char16_t kMsgUnhandled[] = u"Unhandled exception.";
inline constexpr char16_t kMsgSilenced[] =
    u"%1% sectors could not be read and were replaced by silence.";
inline constexpr char16_t kMsgNotAccurate[] = u"The rip is not accurate according to AccurateRip.";
inline constexpr char16_t kMsgLogNotWritten[] = u"The rip log could not be written: %1%.";
inline constexpr char16_t kMsgCueNotWritten[] = u"The CUE sheet could not be written: %1%.";

// The user key of a drive letter's own options: ReadOffset (DWORD, signed,
// in stereo samples, AccurateRip's sign) is the read offset of the drive or
// image behind the letter. Without it the offset is 0.
std::u16string DriveOptionsKey(char16_t letter);

// The user key where the read offset found for a drive model (INQUIRY vendor
// and product) is kept, as ReadOffset like the above. A drive letter's own
// value comes first.
std::u16string DriveModelKey(const std::string& vendor, const std::string& product);

}  // namespace tonvik
