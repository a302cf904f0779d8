#include "lookup/bounded_lookup.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/abandoned_threads.h"

namespace tonvik::lookup {
namespace {

std::atomic<int> g_running{0};

}  // namespace

struct BoundedLookup::State {
  std::mutex mutex;
  std::condition_variable ended;
  bool finished = false;
  bool abandoned = false;  // the bound passed: the record is no longer wanted
  DiscMetadata record;     // written by the lookup thread only, until finished
  // Set as the thread's very last act, for whoever joins it.
  std::shared_ptr<std::atomic<bool>> thread_done = std::make_shared<std::atomic<bool>>(false);
};

BoundedLookup::BoundedLookup(std::vector<uint8_t> toc, Service service)
    : state_(std::make_shared<State>()), started_(std::chrono::steady_clock::now()) {
  InitialiseLookupLibraries();  // here, before the lookup thread exists
  ++g_running;
  thread_ = std::thread([state = state_, toc = std::move(toc), service = std::move(service)] {
    DiscMetadata record;
    try {
      LookupDisc(toc, record, service);
    } catch (...) {
      record = DiscMetadata{};  // a lookup that throws has loaded nothing
    }
    const auto done = state->thread_done;
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      if (!state->abandoned) state->record = std::move(record);
      state->finished = true;
      state->ended.notify_all();
    }
    --g_running;
    done->store(true);
  });
}

BoundedLookup::~BoundedLookup() {
  bool finished;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    finished = state_->finished;
    if (!finished) state_->abandoned = true;
  }
  if (finished)
    thread_.join();  // it only has its last lines to run
  else
    AbandonThread(std::move(thread_), state_->thread_done);
}

std::optional<DiscMetadata> BoundedLookup::Wait(std::chrono::milliseconds bound) {
  std::unique_lock<std::mutex> lock(state_->mutex);
  if (!state_->abandoned)
    state_->ended.wait_until(lock, started_ + bound, [&] { return state_->finished; });
  if (!state_->finished) state_->abandoned = true;
  if (state_->abandoned) return std::nullopt;
  return state_->record;
}

int BoundedLookup::Running() { return g_running.load(); }

bool BoundedLookup::Finished() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->finished;
}

}  // namespace tonvik::lookup
