// libcurl's process-wide set-up (curl_global_init), once per process whoever
// asks first: the setup's downloads and the rip's AccurateRip fetch share it.
// Called on the thread that owns a worker before the worker starts, so that
// the set-up never races another thread. Header only: what includes it links
// libcurl, the rest of platform does not.
#pragma once
#include <curl/curl.h>

#include <mutex>

namespace tonvik {

inline void InitialiseCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace tonvik
