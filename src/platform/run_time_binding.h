// The functions of a run-time module, bound once per process: the first Get
// loads the module and resolves the table under a lock, later calls return
// the same table, and Forget drops it so that the next Get binds again
// (tests point the binding at another module). A bound module stays loaded
// for the rest of the process. Safe from any thread.
#pragma once
#include <mutex>
#include <optional>

#include "platform/dynamic_library.h"

namespace tonvik {

template <typename Functions>
class RunTimeBinding {
 public:
  // `load` gives the module (a DynamicLibrary, loaded or not); `resolve`
  // fills the table from it and throws the caller's error when it cannot.
  // A throw leaves nothing bound and the module unloaded.
  template <typename Load, typename Resolve>
  const Functions& Get(Load load, Resolve resolve) {
    std::lock_guard guard(lock_);
    if (bound_) return *bound_;
    DynamicLibrary library = load();
    Functions functions = resolve(library);
    library.Leak();
    bound_ = functions;
    return *bound_;
  }

  void Forget() {
    std::lock_guard guard(lock_);
    bound_.reset();
  }

 private:
  std::mutex lock_;
  std::optional<Functions> bound_;
};

}  // namespace tonvik
