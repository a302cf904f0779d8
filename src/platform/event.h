// A manual-reset event: stays signalled until reset; every waiter wakes on Set.
// Held by std::shared_ptr where several threads wait on it (the pause event).
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tonvik {

class ManualResetEvent {
 public:
  explicit ManualResetEvent(bool signalled) : signalled_(signalled) {}

  void Set() {
    {
      std::lock_guard lock(mutex_);
      signalled_ = true;
    }
    cv_.notify_all();
  }
  void Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
  }
  bool IsSet() const {
    std::lock_guard lock(mutex_);
    return signalled_;
  }
  void Wait() const {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
  }
  // True when signalled within the time.
  bool WaitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [this] { return signalled_; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  bool signalled_;
};

}  // namespace tonvik
