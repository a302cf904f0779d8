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
    ++waiters_;
    cv_.wait(lock, [this] { return signalled_; });
    --waiters_;
  }
  // True when signalled within the time.
  bool WaitFor(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    ++waiters_;
    const bool signalled = cv_.wait_for(lock, timeout, [this] { return signalled_; });
    --waiters_;
    return signalled;
  }
  // The threads inside Wait or WaitFor right now, so a caller can tell that
  // a worker has reached the event (a paused job really is waiting).
  int Waiters() const {
    std::lock_guard lock(mutex_);
    return waiters_;
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  bool signalled_;
  mutable int waiters_ = 0;
};

}  // namespace tonvik
