#include "accuraterip/disc_ids.h"

#include <cstdio>

namespace tonvik::accuraterip {

namespace {

uint32_t DigitSum(uint32_t n) {
  uint32_t sum = 0;
  for (; n > 0; n /= 10) sum += n % 10;
  return sum;
}

// Seconds of an absolute address (the 2-second lead-in added).
uint32_t Seconds(int32_t lsn) { return uint32_t(lsn + 150) / 75; }

}  // namespace

DiscIds ComputeDiscIds(const DiscToc& toc) {
  DiscIds ids;
  uint32_t k = 0;
  uint32_t digits = 0;
  for (const TocTrack& track : toc.tracks) {
    digits += DigitSum(Seconds(track.start));
    if (track.data) continue;
    ++k;
    const uint32_t start = uint32_t(track.start);
    ids.id1 += start;
    ids.id2 += (start > 0 ? start : 1) * k;
  }
  const uint32_t lead_out = uint32_t(toc.lead_out);
  ids.audio_tracks = int(k);
  ids.id1 += lead_out;
  ids.id2 += lead_out * (k + 1);
  const uint32_t length = toc.tracks.empty() ? 0 : Seconds(toc.lead_out) - Seconds(toc.tracks.front().start);
  ids.freedb = (digits % 255) << 24 | length << 8 | uint32_t(toc.tracks.size());
  return ids;
}

std::string RecordName(const DiscIds& ids) {
  char name[64];
  std::snprintf(name, sizeof name, "dBAR-%03d-%08x-%08x-%08x.bin", ids.audio_tracks, ids.id1, ids.id2,
                ids.freedb);
  return name;
}

std::string RecordPath(const DiscIds& ids) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string path;
  for (int shift : {0, 4, 8}) {
    path += kHex[(ids.id1 >> shift) & 0xF];
    path += '/';
  }
  return path + RecordName(ids);
}

std::string RecordUrl(const DiscIds& ids, const std::string& host) {
  return host + "/accuraterip/" + RecordPath(ids);
}

}  // namespace tonvik::accuraterip
