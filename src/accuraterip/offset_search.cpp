#include "accuraterip/offset_search.h"

#include <vector>

#include "accuraterip/track_checksum.h"

namespace tonvik::accuraterip {
namespace {

inline uint32_t Sample(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

std::optional<int32_t> OffsetWindowStart(const AudioTrack& track) {
  // The window must lie inside the track: sector 450 and the five after it.
  if (track.sectors < 450 + kOffsetSearchSectors + 1) return std::nullopt;
  return track.start + 450 - kOffsetSearchSectors;
}

std::vector<uint32_t> ShiftedSector450Sums(const uint8_t* window) {
  constexpr int32_t n = kSamplesPerSector;
  // x[i] is the window's i-th sample; the corrected sector 450 at shift s
  // is x[kMaxSearchedOffset + s .. + n - 1].
  std::vector<uint32_t> x(size_t(kOffsetWindowSectors) * n);
  for (size_t i = 0; i < x.size(); ++i) x[i] = Sample(window + 4 * i);
  std::vector<uint32_t> sums(2 * kMaxSearchedOffset + 1);
  uint32_t weighted = 0, plain = 0;
  for (int32_t j = 0; j < n; ++j) {
    weighted += uint32_t(j + 1) * x[size_t(j)];
    plain += x[size_t(j)];
  }
  // From one shift to the next every weight drops by one, the first sample
  // leaves and a new one comes in with the full weight n.
  for (size_t k = 0;; ++k) {
    sums[k] = weighted;
    if (k + 1 == sums.size()) break;
    const uint32_t in = x[k + n];
    weighted = weighted - plain + uint32_t(n) * in;
    plain = plain - x[k] + in;
  }
  return sums;
}

bool OffsetSearch::Knows(int record_slot) const {
  if (record_.status != LookupStatus::Found) return false;
  for (const Pressing& p : record_.pressings)
    if (size_t(record_slot) < p.tracks.size() && p.tracks[size_t(record_slot)].HasData() &&
        p.tracks[size_t(record_slot)].crc450 != 0)
      return true;
  return false;
}

void OffsetSearch::AddTrack(int record_slot, const uint8_t* window) {
  if (!Knows(record_slot)) return;
  ++tracks_added_;
  const std::vector<uint32_t> sums = ShiftedSector450Sums(window);
  for (const Pressing& p : record_.pressings) {
    if (size_t(record_slot) >= p.tracks.size()) continue;
    const TrackEntry& e = p.tracks[size_t(record_slot)];
    if (!e.HasData() || e.crc450 == 0) continue;
    for (size_t k = 0; k < sums.size(); ++k) {
      if (sums[k] != e.crc450) continue;
      Votes& v = votes_[int32_t(k) - kMaxSearchedOffset];
      if (v.slots.insert(record_slot).second) v.confidence += e.confidence;
    }
  }
}

std::optional<int32_t> OffsetSearch::Offset() const {
  std::optional<int32_t> best;
  size_t best_tracks = 0;
  int best_confidence = 0;
  bool tie = false;
  for (const auto& [offset, v] : votes_) {
    if (v.slots.size() < 2) continue;
    if (v.slots.size() > best_tracks || (v.slots.size() == best_tracks && v.confidence > best_confidence)) {
      best = offset;
      best_tracks = v.slots.size();
      best_confidence = v.confidence;
      tie = false;
    } else if (v.slots.size() == best_tracks && v.confidence == best_confidence) {
      tie = true;
    }
  }
  if (tie) return std::nullopt;
  return best;
}

}  // namespace tonvik::accuraterip
