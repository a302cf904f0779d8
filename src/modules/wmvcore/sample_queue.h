// The writer's encoding thread and the samples waiting for it. Push hands a
// sample over (the queue keeps a reference of its own) and the thread feeds
// the samples to the encoder in order. After the first failure the thread
// drops every further sample; a failure of the codec is also passed to the
// callback given to Start, on the encoding thread.
//
// The writer owns the queue, the queue owns the thread: Start creates it,
// Stop or Discard joins it on the caller's thread, and so does the
// destructor if neither did. The encoder is the thread's from Start until
// the join, the caller's before and after.
#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "modules/wmvcore/asf_encoder.h"
#include "modules/wmvcore/wmsdk.h"

namespace wmvcore {

class SampleQueue {
 public:
  using CodecFailure = std::function<void(HRESULT)>;

  SampleQueue() = default;
  ~SampleQueue() { Discard(); }
  SampleQueue(const SampleQueue&) = delete;
  SampleQueue& operator=(const SampleQueue&) = delete;

  // Clears the failure and starts the thread over the encoder.
  void Start(AsfEncoder* encoder, CodecFailure on_codec_failure);
  // Queues the sample, waiting while kDepth samples are still pending.
  void Push(INSSBuffer* sample);
  // Lets the thread encode what is queued, then joins it.
  void Stop();
  // Releases what is queued without encoding it, then joins the thread.
  void Discard();

  // The first failure since Start (S_OK: none); read failure() first.
  HRESULT failure() const { return failed_; }
  bool codec_failure() const { return codec_failed_; }

 private:
  void Run();

  static constexpr size_t kDepth = 8;
  AsfEncoder* encoder_ = nullptr;
  CodecFailure on_codec_failure_;
  std::atomic<HRESULT> failed_{S_OK};
  std::atomic<bool> codec_failed_{false};  // set before failed_

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<INSSBuffer*> samples_;  // owned references, under lock_
  bool ending_ = false;              // under lock_
  // Who waits on changed_ now (under lock_): each side wakes the other only then.
  bool runner_waits_ = false;
  bool pusher_waits_ = false;
  std::thread worker_;
};

}  // namespace wmvcore
