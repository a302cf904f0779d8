#include "rip/encoder_pool.h"

#include <algorithm>

#include "core/app_exception.h"

namespace tonvik {

namespace {
// What an encoder threw that is no AppException.
constexpr char16_t kUnhandled[] = u"Unhandled exception.";
constexpr auto kCancelPoll = std::chrono::milliseconds(50);
// A job waiting for room in the budget is woken once this many chunks'
// worth has been written, not for every chunk: it then reads them in one go.
constexpr size_t kRefillChunks = 8;
}  // namespace

int EncoderThreadCount(uint32_t user_value) {
  const uint32_t n = user_value ? user_value : std::max(1u, std::thread::hardware_concurrency());
  return int(std::clamp<uint32_t>(n, 1, 64));
}

EncoderPool::EncoderPool(int threads, size_t budget_bytes, size_t chunk_bytes, Shared shared)
    : budget_(budget_bytes),
      shared_(shared),
      // The budget's worth of whole chunks, the one the job is filling and
      // one for each worker's hands.
      store_(chunk_bytes, budget_bytes / std::max<size_t>(chunk_bytes, 1) + 2 + size_t(std::max(1, threads))) {
  for (int i = 0; i < std::max(1, threads); ++i) workers_.emplace_back([this] { Work(); });
}

EncoderPool::~EncoderPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    WakeAll();
  }
  shared_.pause->Set();  // a worker waiting on the pause must see the end; the job is over
  for (std::thread& t : workers_) t.join();
}

int EncoderPool::Begin(std::unique_ptr<CEncoder> encoder) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto track = std::make_unique<Track>();
  track->encoder = std::move(encoder);
  tracks_.push_back(std::move(track));
  idle_.notify_one();
  return int(tracks_.size() - 1);
}

bool EncoderPool::Push(int handle, PcmChunk chunk) {
  std::unique_lock<std::mutex> lock(mutex_);
  Track& track = *tracks_[size_t(handle)];
  // The cancel flag is set without a word to this pool: look at it now and then.
  while (!(*shared_.cancel || track.outcome.done || held_ == 0 || held_ + chunk.size() <= budget_)) {
    job_waits_ = true;
    job_.wait_for(lock, kCancelPoll);
    job_waits_ = false;
  }
  if (*shared_.cancel) return false;
  if (track.outcome.done) return true;  // its encoder failed: the rest of the track goes nowhere
  held_ += chunk.size();
  most_held_ = std::max(most_held_, held_);
  track.chunks.push_back(std::move(chunk));
  if (track.worker_waits) track.fed.notify_one();
  return true;
}

void EncoderPool::End(int handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Track& track = *tracks_[size_t(handle)];
  track.ended = true;
  track.fed.notify_one();
}

void EncoderPool::Abandon(int handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  Track& track = *tracks_[size_t(handle)];
  track.abandoned = true;
  track.fed.notify_one();
}

EncodeOutcome EncoderPool::Outcome(int handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tracks_[size_t(handle)]->outcome;
}

bool EncoderPool::WaitDone(int handle, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  job_waits_ = true;
  const bool done = job_.wait_for(lock, timeout, [&] { return tracks_[size_t(handle)]->outcome.done; });
  job_waits_ = false;
  return done;
}

void EncoderPool::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  WakeAll();
}

void EncoderPool::WakeAll() {
  job_.notify_all();
  idle_.notify_all();
  for (const auto& track : tracks_) track->fed.notify_all();
}

size_t EncoderPool::held_bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_;
}

size_t EncoderPool::most_held_bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return most_held_;
}

void EncoderPool::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    idle_.wait(lock, [&] { return closing_ || next_untaken_ < tracks_.size(); });
    if (next_untaken_ < tracks_.size()) {
      Track& track = *tracks_[next_untaken_++];
      track.taken = true;
      Encode(track, lock);
      if (job_waits_) job_.notify_all();  // the track is done, and its chunks are gone
      continue;
    }
    if (closing_) return;
  }
}

void EncoderPool::Encode(Track& track, std::unique_lock<std::mutex>& lock) {
  std::unique_ptr<CEncoder> encoder = std::move(track.encoder);
  auto drop = [&](bool cancelled) {
    for (const auto& c : track.chunks) held_ -= c.size();
    track.chunks.clear();
    lock.unlock();
    encoder.reset();  // unfinished: the temporary file goes, an old file stays
    lock.lock();
    track.outcome.cancelled = cancelled;
  };
  for (;;) {
    while (!(*shared_.cancel || closing_ || track.abandoned || !track.chunks.empty() || track.ended)) {
      track.worker_waits = true;
      track.fed.wait_for(lock, kCancelPoll);
      track.worker_waits = false;
    }
    if (*shared_.cancel || closing_ || track.abandoned) {
      drop(!track.abandoned);
      break;
    }
    if (track.chunks.empty()) {  // ended, everything written
      lock.unlock();
      bool written = false;
      std::vector<std::u16string> errors;
      try {
        encoder->Finish();
        written = true;
      } catch (const AppException& e) {
        errors.push_back(e.Message());
      } catch (...) {
        errors.push_back(kUnhandled);
      }
      encoder.reset();
      lock.lock();
      track.outcome.written = written;
      track.outcome.errors = std::move(errors);
      break;
    }
    PcmChunk chunk = std::move(track.chunks.front());
    track.chunks.pop_front();
    lock.unlock();
    shared_.pause->Wait();
    bool failed = false;
    std::u16string error;
    if (!*shared_.cancel) {
      try {
        encoder->Write(chunk.data(), static_cast<uint32_t>(chunk.size()));
        *shared_.encoded_total += static_cast<uint32_t>(chunk.size());
      } catch (const AppException& e) {
        failed = true;
        error = e.Message();
      } catch (...) {
        failed = true;
        error = kUnhandled;
      }
    }
    const size_t size = chunk.size();
    chunk = PcmChunk();  // back to the store, for the job's next
    lock.lock();
    held_ -= size;
    if (!*shared_.cancel && !failed) track.outcome.encoded += int64_t(size);
    if (job_waits_ && held_ + std::min(kRefillChunks * store_.slot_bytes(), budget_ / 2) <= budget_)
      job_.notify_all();
    if (failed) {
      drop(false);
      track.outcome.errors.push_back(error);
      break;
    }
  }
  track.outcome.done = true;
}

}  // namespace tonvik
