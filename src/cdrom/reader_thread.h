// The reader thread of one track: reads the track's sectors through a
// TrackReader and writes each, 2352 bytes, into the pipe the rip job reads.
#pragma once
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/event.h"
#include "platform/pipe.h"

namespace tonvik::cdrom {

class CdDrive;

// How many sectors the reader has written into the pipe, so that the job can
// wait until a whole chunk is there and take it with one read, instead of
// waking for every sector the reader writes.
class WrittenSectors {
 public:
  // The reader: `sectors` are in the pipe now.
  void Set(int32_t sectors) {
    std::lock_guard<std::mutex> lock(mutex_);
    written_ = sectors;
    if (written_ >= wanted_) wanted_ = INT32_MAX, changed_.notify_all();
  }
  // The reader: nothing more comes.
  void End() {
    std::lock_guard<std::mutex> lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  }
  // The job: waits until `sectors` are in the pipe or the reader has ended,
  // or at most `patience` (the pipe's own read waits on from there).
  void WaitFor(int32_t sectors, std::chrono::milliseconds patience) {
    std::unique_lock<std::mutex> lock(mutex_);
    wanted_ = sectors;
    changed_.wait_for(lock, patience, [&] { return written_ >= sectors || ended_; });
    wanted_ = INT32_MAX;
  }
  int32_t sectors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
  }
  bool ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int32_t written_ = 0;
  int32_t wanted_ = INT32_MAX;  // what the waiting job wants, if it waits
  bool ended_ = false;
};

// Shared by the rip job and the reader thread (shared_ptr), so a reader that
// outlives its track still finds everything it touches.
struct ReaderJob {
  CdDrive* drive = nullptr;  // the rip job's open drive, not owned
  int32_t first_sector = 0;
  int32_t sector_count = 0;
  bool jitter_correction = false;
  // The drive's read offset in stereo samples (AccurateRip's sign); the
  // reader delivers the disc's own samples of the track. 0: no correction.
  int32_t read_offset = 0;
  // The first sector the drive cannot be asked for (the lead-out; on an
  // enhanced CD the end of the audio session). Only a read offset reaches it.
  int32_t disc_end = INT32_MAX;
  // The reader writes pipe->write_fd() and closes the write end when done.
  std::shared_ptr<Pipe> pipe;
  // Signalled = running; the reader waits on it before each sector.
  std::shared_ptr<ManualResetEvent> pause_event;
  // The flag the reader polls; the job may point it at a private set flag.
  std::atomic<const std::atomic<uint8_t>*> cancel_flag{nullptr};
  std::atomic<uint8_t> error_flag{0};        // the track could not be delivered
  std::atomic<int32_t> unread_sectors{0};    // sectors that went out as silence
  std::atomic<int64_t> raw_sectors_read{0};  // for the read-amplification figure
  std::atomic<bool> finished{false};
  WrittenSectors written;
};

// The thread body. Never throws.
void ReaderThreadMain(std::shared_ptr<ReaderJob> job);

}  // namespace tonvik::cdrom
