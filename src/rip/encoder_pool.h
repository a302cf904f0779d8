// Encoding the tracks of a rip on worker threads, so that a rip is bound by
// the drive or by every core, never by one.
//
// The job thread makes each track's encoder (in track order, so overwrite
// questions come one at a time and in order), hands it over with Begin and
// then the track's PCM in chunks with Push, and ends it with End (or
// Abandon, when reading failed). Up to `threads` workers take the tracks
// oldest first; each feeds its track's encoder and finishes it. The PCM
// waiting in memory is bounded: Push waits while the budget is spent. An
// encoder is used by one worker only and shares nothing with another.
//
// Threads: the pool's workers, started by the constructor and joined by
// the destructor (its owner, the job thread, outlives them). The job thread
// alone calls the other members.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "encoders/encoder.h"
#include "platform/event.h"
#include "rip/chunk_store.h"

namespace tonvik {

// What became of one track's encoder.
struct EncodeOutcome {
  bool done = false;       // the worker is through with the track
  bool written = false;    // Finish succeeded: the file is in place
  bool cancelled = false;  // the job was cancelled before the file was complete
  std::vector<std::u16string> errors;  // what the encoder threw
  int64_t encoded = 0;     // bytes written into the encoder
};

class EncoderPool {
 public:
  struct Shared {
    const std::atomic<uint8_t>* cancel;      // set: every encoder not yet finishing is dropped
    std::shared_ptr<ManualResetEvent> pause; // reset: workers wait before their next write
    std::atomic<uint32_t>* encoded_total;    // bytes written into any encoder, for the total bar
  };

  // chunk_bytes: the size of the chunks the job hands over (smaller ones,
  // such as a track's last, are taken too).
  EncoderPool(int threads, size_t budget_bytes, size_t chunk_bytes, Shared shared);
  ~EncoderPool();  // drops unfinished encoders (their temporary files go) and joins the workers
  EncoderPool(const EncoderPool&) = delete;
  EncoderPool& operator=(const EncoderPool&) = delete;

  // A track's encoder; returns the track's handle.
  int Begin(std::unique_ptr<CEncoder> encoder);
  // A chunk of its PCM. Waits while the PCM held would pass the budget (one
  // chunk always fits). False, without taking it, once the job is cancelled.
  bool Push(int handle, PcmChunk chunk);
  // No more PCM: the worker finishes the encoder once the rest is written.
  void End(int handle);
  // The track failed: its encoder is dropped unfinished.
  void Abandon(int handle);

  EncodeOutcome Outcome(int handle) const;
  // Waits until the track is done or the timeout passes; whether it is done.
  bool WaitDone(int handle, std::chrono::milliseconds timeout) const;
  // A chunk of `size` bytes to fill, most likely one the workers are through
  // with (its bytes are stale): a rip does not allocate and clear memory for
  // every chunk. Safe from any thread.
  PcmChunk Buffer(size_t size) { return store_.Take(size); }
  // Wakes waiters to look at the cancel flag again.
  void Wake();

  size_t held_bytes() const;
  size_t most_held_bytes() const;  // the peak of held_bytes over the pool's life

 private:
  struct Track {
    std::unique_ptr<CEncoder> encoder;
    std::deque<PcmChunk> chunks;
    bool ended = false;
    bool abandoned = false;
    bool taken = false;  // a worker has it
    bool worker_waits = false;     // its worker waits on `fed` for chunks
    std::condition_variable fed;   // a chunk came, or the track ended
    EncodeOutcome outcome;
  };
  void Work();
  // Feeds and finishes one track; called with the lock held, returns with it.
  void Encode(Track& track, std::unique_lock<std::mutex>& lock);
  // Wakes every waiter; called with the lock held.
  void WakeAll();

  const size_t budget_;
  const Shared shared_;
  ChunkStore store_;  // before tracks_: their chunks go back to it
  mutable std::mutex mutex_;
  // Each side is woken when something it waits for has changed, not for
  // every change: the job (room in the budget, a track done), idle workers
  // (a new track), each track's worker (its track's `fed`).
  mutable std::condition_variable job_;
  mutable bool job_waits_ = false;
  std::condition_variable idle_;
  std::deque<std::unique_ptr<Track>> tracks_;  // by handle; stable addresses
  size_t next_untaken_ = 0;
  size_t held_ = 0;
  size_t most_held_ = 0;
  bool closing_ = false;
  std::vector<std::thread> workers_;
};

// The number of encoder threads for the user value EncoderThreads: the value
// itself, or with 0 (the default) the machine's cores; at least one, at most 64.
int EncoderThreadCount(uint32_t user_value);

}  // namespace tonvik
