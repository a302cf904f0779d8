#include "platform/abandoned_threads.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <vector>

namespace tonvik {

namespace {

struct Abandoned {
  std::thread thread;
  std::shared_ptr<const std::atomic<bool>> finished;
};

struct List {
  std::mutex lock;
  std::vector<Abandoned> threads;
  std::multiset<std::string> unfinished;
};

// Never destroyed: a joinable std::thread must never be destroyed, and the
// list may be consulted during exit.
List& TheList() {
  static List* list = new List;
  return *list;
}

}  // namespace

void AbandonThread(std::thread thread, std::shared_ptr<const std::atomic<bool>> finished) {
  if (!thread.joinable()) return;
  List& list = TheList();
  std::lock_guard guard(list.lock);
  list.threads.push_back({std::move(thread), std::move(finished)});
}

bool AbandonedThreadsAlive() {
  List& list = TheList();
  std::lock_guard guard(list.lock);
  bool alive = false;
  for (auto it = list.threads.begin(); it != list.threads.end();) {
    if (it->finished && it->finished->load()) {
      it->thread.join();  // its last act was to set the flag
      it = list.threads.erase(it);
    } else {
      alive = true;
      ++it;
    }
  }
  return alive;
}

void RegisterUnfinishedFile(const std::string& path) {
  List& list = TheList();
  std::lock_guard guard(list.lock);
  list.unfinished.insert(path);
}

void ForgetUnfinishedFile(const std::string& path) {
  List& list = TheList();
  std::lock_guard guard(list.lock);
  if (auto it = list.unfinished.find(path); it != list.unfinished.end()) list.unfinished.erase(it);
}

int ExitCodeOrQuickExit(int code) {
  if (!AbandonedThreadsAlive()) return code;
  std::fflush(nullptr);
  {
    List& list = TheList();
    std::lock_guard guard(list.lock);
    for (const std::string& path : list.unfinished) ::unlink(path.c_str());
  }
  std::_Exit(code);
}

}  // namespace tonvik
