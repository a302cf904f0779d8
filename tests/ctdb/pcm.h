// Test helpers: deterministic noise as PCM, zlib's CRC-32 over a span of
// samples computed directly (the reference the streamed CRCs are held to),
// and a TOC from its string.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ctdb/toc.h"

namespace tonvik::ctdb::testing {

inline std::vector<uint8_t> Noise(uint64_t samples, uint32_t seed) {
  std::vector<uint8_t> pcm(size_t(samples) * 4);
  std::mt19937 random(seed);
  for (uint8_t& b : pcm) b = uint8_t(random());
  return pcm;
}

// CRC-32 of the bytes of samples [u, v) of `pcm`.
inline uint32_t SpanCrc(const std::vector<uint8_t>& pcm, uint64_t u, uint64_t v) {
  return uint32_t(crc32_z(0, pcm.data() + u * 4, size_t(v - u) * 4));
}

inline accuraterip::DiscToc Toc(const std::string& text) { return ParseTocString(text).value(); }

}  // namespace tonvik::ctdb::testing
