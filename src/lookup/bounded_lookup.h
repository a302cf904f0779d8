// The lookup under a time bound. The web-service library has no overall
// time limit (a proxy that accepts and never answers keeps it waiting for
// minutes), so the lookup runs on a thread of its own and fills a private
// record; the caller waits for it at most the bound and takes the record only
// when it came in time. A late answer ends in that private record and is
// dropped with it: it never reaches the rip's record.
//
// The object owns its thread: destroyed after the lookup ended, it joins it;
// destroyed while the library still waits, it hands the thread to the
// abandoned threads (platform/abandoned_threads.h), so it never blocks.
#pragma once
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "lookup/musicbrainz_lookup.h"

namespace tonvik::lookup {

inline constexpr std::chrono::milliseconds kLookupBound{30000};

class BoundedLookup {
 public:
  // Starts the lookup at once; the thread owns a share of the state, so it
  // may outlive this object once abandoned.
  BoundedLookup(std::vector<uint8_t> toc, Service service);
  ~BoundedLookup();
  BoundedLookup(const BoundedLookup&) = delete;
  BoundedLookup& operator=(const BoundedLookup&) = delete;

  // Waits until the lookup ended or `bound` passed since it started. The
  // record when it ended in time (empty when nothing was found or it
  // failed), nothing when the bound passed first; once the bound has
  // passed, later calls return nothing too.
  std::optional<DiscMetadata> Wait(std::chrono::milliseconds bound);

  // True once the lookup thread is done, in time or not.
  bool Finished() const;

  // Lookup threads of this process still running, in time or late (a late
  // one outlives its BoundedLookup): tests wait for none to be left before
  // they check that a late answer went nowhere.
  static int Running();

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::chrono::steady_clock::time_point started_;
  std::thread thread_;
};

}  // namespace tonvik::lookup
