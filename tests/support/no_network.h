// The tests never reach the internet: http_proxy points at a local port where
// nothing listens, so a request not meant for a test's own loopback server
// (the disc lookup, the AccurateRip record) fails at once. ctest sets it for
// every test; a test that pointed it at its own server points it back here.
#pragma once
#include <cstdlib>

namespace tonvik::testing {

inline constexpr char kNowhereProxy[] = "http://127.0.0.1:9";

inline void PointProxyNowhere() { ::setenv("http_proxy", kNowhereProxy, 1); }

}  // namespace tonvik::testing
