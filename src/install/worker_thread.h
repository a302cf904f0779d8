// The thread of a page's worker and the worker's way to its page.
//
// A page that goes away while its worker still runs asks the worker to stop
// and waits a moment for it. A worker stuck in a call that cannot be
// interrupted (an engine busy with a package, a process that does not end) is
// not waited for: it is cut off from the page, never to touch the page's view
// or state again, and its thread goes to the process's abandoned threads
// (platform/abandoned_threads.h) to end on its own. Logic only.
#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace tonvik::install {

// What a page keeps of the worker it started. Releasing it waits for the
// worker's thread, unless the worker was let go by StopWithin.
class PageWorker {
 public:
  virtual ~PageWorker() = default;
  // Asks the worker to stop and waits up to `patience` for it. A worker that
  // has not ended by then is cut off from the page and its thread abandoned.
  // True when it ended in time.
  virtual bool StopWithin(std::chrono::milliseconds patience) = 0;
};

// The worker's side, safe to keep and use on its thread after the page and
// the WorkerThread are gone.
class WorkerLink {
 public:
  bool StopRequested() const;
  // Runs `call`, which reaches the page's view or state, unless the worker
  // was cut off from the page; false then. Calls must not wait for the
  // page's thread: cutting the worker off waits for a call under way.
  bool ToPage(const std::function<void()>& call) const;

 private:
  friend class WorkerThread;
  struct Shared;
  explicit WorkerLink(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}
  std::shared_ptr<Shared> shared_;
};

class WorkerThread {
 public:
  WorkerThread();
  ~WorkerThread();  // joins a thread it still holds
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // The link the body is to use; the same for the thread's whole life.
  WorkerLink Link() const { return WorkerLink(shared_); }
  // Runs `body` on a thread of its own. Whatever the body uses must be its
  // own (captured by value or shared), not the page's: the thread may outlive
  // its page.
  void Start(std::function<void()> body);
  void Join();
  // See PageWorker::StopWithin.
  bool StopWithin(std::chrono::milliseconds patience);

 private:
  std::shared_ptr<WorkerLink::Shared> shared_;
  std::thread thread_;
};

}  // namespace tonvik::install
