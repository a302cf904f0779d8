#include "modules/wmvcore/sample_queue.h"

#include <utility>

namespace wmvcore {

void SampleQueue::Start(AsfEncoder* encoder, CodecFailure on_codec_failure) {
  encoder_ = encoder;
  on_codec_failure_ = std::move(on_codec_failure);
  failed_ = S_OK;
  codec_failed_ = false;
  ending_ = false;
  worker_ = std::thread(&SampleQueue::Run, this);
}

void SampleQueue::Run() {
  for (;;) {
    INSSBuffer* sample = nullptr;
    bool wake_pusher = false;
    {
      std::unique_lock lock(lock_);
      runner_waits_ = true;
      changed_.wait(lock, [&] { return !samples_.empty() || ending_; });
      runner_waits_ = false;
      if (samples_.empty()) return;  // ending, and all taken
      sample = samples_.front();
      samples_.pop_front();
      // A pusher waiting for room is woken once half the queue is free, so
      // that it hands over several samples for each time it wakes.
      wake_pusher = pusher_waits_ && samples_.size() <= kDepth / 2;
    }
    if (wake_pusher) changed_.notify_all();
    if (SUCCEEDED(failed_.load())) {
      BYTE* data = nullptr;
      DWORD length = 0;
      bool codec_failed = false;
      HRESULT hr = sample->GetBufferAndLength(&data, &length);
      if (SUCCEEDED(hr)) hr = encoder_->Consume(data, length, &codec_failed);
      if (FAILED(hr)) {
        codec_failed_ = codec_failed;
        failed_ = hr;
        if (codec_failed) on_codec_failure_(hr);
      }
    }
    sample->Release();
  }
}

void SampleQueue::Push(INSSBuffer* sample) {
  sample->AddRef();
  bool wake_runner = false;
  {
    std::unique_lock lock(lock_);
    pusher_waits_ = true;
    changed_.wait(lock, [&] { return samples_.size() < kDepth; });
    pusher_waits_ = false;
    samples_.push_back(sample);
    wake_runner = runner_waits_;
  }
  if (wake_runner) changed_.notify_all();
}

void SampleQueue::Stop() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard guard(lock_);
    ending_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void SampleQueue::Discard() {
  {
    std::lock_guard guard(lock_);
    for (INSSBuffer* sample : samples_) sample->Release();
    samples_.clear();
  }
  Stop();
}

}  // namespace wmvcore
