#include "install/temporary_files.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace tonvik::install {

namespace {

// A few slots are plenty: the setup downloads one component at a time.
constexpr int kSlots = 8;

struct Slot {
  std::atomic<int> state{0};  // 0 free, 1 being written, 2 registered
  char path[PATH_MAX];
};
Slot g_slots[kSlots];

void OnSignal(int signal_number) {
  for (Slot& slot : g_slots) {
    if (slot.state.load() == 2) ::unlink(slot.path);
  }
  // The default action now: the process ends by the signal, as without us.
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace

void RemoveTemporaryFilesOnSignals() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&action.sa_mask, s);
  for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &action, nullptr);
}

bool RegisterTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return false;
  for (Slot& slot : g_slots) {
    int expected = 0;
    if (!slot.state.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.state.store(2);
    return true;
  }
  return false;
}

void ForgetTemporary(const std::string& path) {
  for (Slot& slot : g_slots) {
    int expected = 2;
    if (slot.state.load() == 2 && path == slot.path && slot.state.compare_exchange_strong(expected, 1)) {
      slot.state.store(0);
      return;
    }
  }
}

}  // namespace tonvik::install
