#include "rip/time_estimate.h"

#include <cstdio>

namespace tonvik {

std::u16string TimeEstimate::Tick(uint32_t elapsed_ms, uint32_t total_bytes, uint32_t total_done) {
  const uint32_t elapsed = elapsed_ms / 1000;
  // Counts the estimate down once a second between two estimates.
  if (seconds_left != 0 && (tick_count & 1)) --seconds_left;
  if (tick_count % 10 == 9) {  // every 10th tick: 5 seconds of data
    const uint32_t delta = total_done - last_sample;
    if (delta != 0) {
      const uint32_t remaining = total_bytes > total_done ? total_bytes - total_done : 0;
      seconds_left = static_cast<uint32_t>(remaining / (delta / 5.0));
    }
    tick_count = 0;
    last_sample = total_done;
  } else {
    ++tick_count;
  }
  char text[96];
  int n = std::snprintf(text, sizeof text, "Time elapsed: %02u:%02u. ", elapsed / 60, elapsed % 60);
  if (elapsed < 10)
    std::snprintf(text + n, sizeof text - n, "Time left: n/a.");
  else
    std::snprintf(text + n, sizeof text - n, "Time left: %02u:%02u.", seconds_left / 60,
                  seconds_left % 60);
  return std::u16string(text, text + std::char_traits<char>::length(text));
}

}  // namespace tonvik
