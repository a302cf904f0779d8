// The progress text of the dialog ("Time elapsed: 01:23. Time left: 04:56."),
// computed on each 500 ms tick from the job's counters.
#pragma once
#include <cstdint>
#include <string>

namespace tonvik {

struct TimeEstimate {
  uint32_t seconds_left = 0;
  uint32_t last_sample = 0;  // total done at the last estimate
  int32_t tick_count = 0;    // ticks since the last estimate

  // One tick: elapsed_ms since the dialog started. Returns the text.
  std::u16string Tick(uint32_t elapsed_ms, uint32_t total_bytes, uint32_t total_done);
};

}  // namespace tonvik
