// Test helper: AccurateRip records built byte by byte, little-endian as the
// database writes them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "accuraterip/disc_ids.h"
#include "accuraterip/record.h"

namespace tonvik::accuraterip::testing {

inline void PutLe32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += char((v >> shift) & 0xFF);
}

// One chunk: the header of `ids`, then an entry per track.
inline std::string Chunk(const DiscIds& ids, const std::vector<TrackEntry>& tracks) {
  std::string out(1, char(ids.audio_tracks));
  PutLe32(out, ids.id1);
  PutLe32(out, ids.id2);
  PutLe32(out, ids.freedb);
  for (const TrackEntry& t : tracks) {
    out += char(t.confidence);
    PutLe32(out, t.crc);
    PutLe32(out, t.crc450);
  }
  return out;
}

}  // namespace tonvik::accuraterip::testing
