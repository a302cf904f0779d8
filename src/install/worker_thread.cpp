#include "install/worker_thread.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/abandoned_threads.h"

namespace tonvik::install {

struct WorkerLink::Shared {
  std::atomic<bool> stop{false};
  // Held by each call to the page and while the worker is cut off, so that
  // no call is under way once it is.
  std::mutex lock;
  std::condition_variable ended_changed;
  bool ended = false;    // the body has returned; under `lock`
  bool cut_off = false;  // under `lock`
  // Set by the thread as its last act, for the abandoned threads' list.
  std::shared_ptr<std::atomic<bool>> finished = std::make_shared<std::atomic<bool>>(false);
};

bool WorkerLink::StopRequested() const { return shared_->stop.load(); }

bool WorkerLink::ToPage(const std::function<void()>& call) const {
  std::lock_guard guard(shared_->lock);
  if (shared_->cut_off) return false;
  call();
  return true;
}

WorkerThread::WorkerThread() : shared_(std::make_shared<WorkerLink::Shared>()) {}

WorkerThread::~WorkerThread() { Join(); }

void WorkerThread::Start(std::function<void()> body) {
  thread_ = std::thread([shared = shared_, body = std::move(body)] {
    body();
    {
      std::lock_guard guard(shared->lock);
      shared->ended = true;
    }
    shared->ended_changed.notify_all();
    shared->finished->store(true);
  });
}

void WorkerThread::Join() {
  if (thread_.joinable()) thread_.join();
}

bool WorkerThread::StopWithin(std::chrono::milliseconds patience) {
  if (!thread_.joinable()) return true;
  shared_->stop = true;
  std::unique_lock guard(shared_->lock);
  if (shared_->ended_changed.wait_for(guard, patience, [this] { return shared_->ended; })) {
    guard.unlock();
    thread_.join();
    return true;
  }
  shared_->cut_off = true;
  guard.unlock();
  AbandonThread(std::move(thread_), shared_->finished);
  return false;
}

}  // namespace tonvik::install
