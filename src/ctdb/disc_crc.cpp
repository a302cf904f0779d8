#include "ctdb/disc_crc.h"

#include <zlib.h>

#include <algorithm>

namespace tonvik::ctdb {

DiscCrc::DiscCrc(const AudioLayout& layout) : layout_(layout) {
  const uint64_t n = layout_.samples;
  const int count = layout_.audio_tracks();
  if (count == 0) return;
  const uint64_t tail = kStride + n % kStride;  // L
  const bool long_enough = n >= 3 * kStride;
  const uint64_t first_lo = kStride;
  const uint64_t last_hi = long_enough ? n - tail : 0;
  if (long_enough) disc_ = Window{first_lo, last_hi, CrcShift(last_hi - first_lo)};

  std::vector<uint64_t> edges;
  if (long_enough) edges = {first_lo, last_hi};
  for (int t = 0; t < count; ++t) {
    const uint64_t lo = t == 0 ? first_lo : layout_.track_starts[size_t(t)];
    const uint64_t hi = t + 1 == count ? last_hi : layout_.track_starts[size_t(t) + 1];
    if (lo < hi && hi <= n) {
      tracks_.push_back(Window{lo, hi, CrcShift(hi - lo)});
      edges.push_back(lo);
      edges.push_back(hi);
    } else {
      tracks_.push_back(std::nullopt);
    }
  }
  // The states around every edge, overlapping spans merged.
  std::sort(edges.begin(), edges.end());
  for (uint64_t edge : edges) {
    const uint64_t first = edge > uint64_t(kMaxShift) ? edge - kMaxShift : 0;
    const uint64_t last = std::min(edge + kMaxShift, n);
    if (!kept_.empty() && first <= kept_.back().last + 1) {
      kept_.back().last = std::max(kept_.back().last, last);
    } else {
      kept_.push_back({first, last, {}});
    }
  }
  for (Kept& k : kept_) k.states.reserve(size_t(k.last - k.first + 1));
}

void DiscCrc::Keep() {
  if (bytes_ % 4 != 0) return;
  const uint64_t sample = bytes_ / 4;
  while (next_kept_ < kept_.size() && kept_[next_kept_].last < sample) ++next_kept_;
  if (next_kept_ == kept_.size()) return;
  Kept& k = kept_[next_kept_];
  if (sample >= k.first && k.states.size() == sample - k.first) k.states.push_back(crc_);
}

void DiscCrc::Add(const uint8_t* data, size_t size) {
  Keep();
  while (size > 0) {
    const uint64_t sample = bytes_ / 4;
    while (next_kept_ < kept_.size() && kept_[next_kept_].last < sample) ++next_kept_;
    uint64_t step = size;
    if (next_kept_ < kept_.size()) {
      const Kept& k = kept_[next_kept_];
      // Inside a kept span one sample at a time, else straight to the next span.
      step = sample >= k.first ? 4 - bytes_ % 4 : k.first * 4 - bytes_;
    }
    step = std::min<uint64_t>(step, size);
    crc_ = uint32_t(crc32_z(crc_, data, size_t(step)));
    data += step;
    size -= size_t(step);
    bytes_ += step;
    Keep();
  }
}

std::optional<uint32_t> DiscCrc::StateAt(uint64_t sample) const {
  auto after = std::upper_bound(kept_.begin(), kept_.end(), sample,
                                [](uint64_t s, const Kept& k) { return s < k.first; });
  if (after == kept_.begin()) return std::nullopt;
  const Kept& k = *(after - 1);
  if (sample - k.first >= k.states.size()) return std::nullopt;
  return k.states[size_t(sample - k.first)];
}

std::optional<uint32_t> DiscCrc::Crc(const Window& window, int shift) const {
  if (!complete() || shift < -kMaxShift || shift > kMaxShift) return std::nullopt;
  if (shift < 0 && window.lo < uint64_t(-int64_t(shift))) return std::nullopt;
  const uint64_t lo = window.lo + uint64_t(int64_t(shift));
  const uint64_t hi = window.hi + uint64_t(int64_t(shift));
  if (hi > layout_.samples) return std::nullopt;
  const std::optional<uint32_t> before = StateAt(lo);
  const std::optional<uint32_t> after = StateAt(hi);
  if (!before || !after) return std::nullopt;
  return window.shift.Between(*before, *after);
}

std::optional<uint32_t> DiscCrc::Disc(int shift) const {
  if (!disc_) return std::nullopt;
  return Crc(*disc_, shift);
}

std::optional<uint32_t> DiscCrc::Track(int track, int shift) const {
  if (track < 0 || size_t(track) >= tracks_.size() || !tracks_[size_t(track)]) return std::nullopt;
  return Crc(*tracks_[size_t(track)], shift);
}

}  // namespace tonvik::ctdb
