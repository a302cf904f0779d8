// Test helper: waits on another thread's progress by watching the state it
// changes (a counter, a waiter on an event, a file). The bound only ends a
// test whose condition never comes; reaching it is a failure, never a result.
#pragma once
#include <chrono>
#include <functional>
#include <thread>

namespace tonvik::testing {

inline constexpr std::chrono::seconds kFailureBound{120};

// True once the condition holds; false when the failure bound passed first.
inline bool WaitUntil(const std::function<bool()>& condition) {
  const auto give_up = std::chrono::steady_clock::now() + kFailureBound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace tonvik::testing
