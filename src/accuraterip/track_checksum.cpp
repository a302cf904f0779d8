#include "accuraterip/track_checksum.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace tonvik::accuraterip {

namespace {

// The 451st sector of the track (0-based sector 450), positions 1-based.
constexpr uint64_t kSector450First = 450 * kSamplesPerSector + 1;
constexpr uint64_t kSector450Last = 451 * kSamplesPerSector;
constexpr size_t kEdgeBytes = kEdgeSamples * 4;

// The sample as AccurateRip reads it, whatever the host's byte order.
inline uint32_t Sample(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

TrackChecksum::TrackChecksum(bool first_track, bool last_track)
    : first_(first_track), last_(last_track), crc32_(uint32_t(::crc32(0, nullptr, 0))) {}

void TrackChecksum::Add(const uint8_t* data, size_t size) {
  // zlib takes a uInt length: feed it in pieces a uInt can hold.
  for (size_t done = 0; done < size;) {
    const size_t piece = std::min<size_t>(size - done, 1u << 30);
    crc32_ = uint32_t(::crc32(crc32_, data + done, uInt(piece)));
    done += piece;
  }
  if (partial_size_ > 0) {
    const size_t fill = std::min(size, 4 - partial_size_);
    std::memcpy(partial_ + partial_size_, data, fill);
    partial_size_ += fill;
    data += fill;
    size -= fill;
    if (partial_size_ < 4) return;
    Take(partial_, 1);
    partial_size_ = 0;
  }
  const size_t whole = size / 4;
  if (whole > 0) Take(data, whole);
  partial_size_ = size % 4;
  std::memcpy(partial_, data + whole * 4, partial_size_);
}

void TrackChecksum::Take(const uint8_t* data, size_t samples) {
  // Sector 450 is summed as it arrives: no sample is left out of it.
  const uint64_t from = std::max(position_ + 1, kSector450First);
  const uint64_t to = std::min(position_ + samples, kSector450Last);
  for (uint64_t p = from; p <= to; ++p)
    crc450_ += uint32_t(p - (kSector450First - 1)) * Sample(data + (p - position_ - 1) * 4);
  position_ += samples;

  if (!last_) {
    Sum(data, samples);
    return;
  }
  // The last track: whatever is more than kEdgeSamples from the newest
  // sample is summed, the rest is held back.
  const size_t held = (held_.size() - held_head_) / 4;
  if (held + samples > kEdgeSamples) {
    const size_t due = held + samples - kEdgeSamples;
    const size_t from_held = std::min(held, due);
    Sum(held_.data() + held_head_, from_held);
    held_head_ += from_held * 4;
    Sum(data, due - from_held);
    data += (due - from_held) * 4;
    samples -= due - from_held;
  }
  // Moved down only once the consumed part is as long as what stays, so
  // every byte is moved a bounded number of times.
  if (held_head_ >= kEdgeBytes) {
    held_.erase(held_.begin(), held_.begin() + std::ptrdiff_t(held_head_));
    held_head_ = 0;
  }
  held_.insert(held_.end(), data, data + samples * 4);
}

void TrackChecksum::Sum(const uint8_t* data, size_t samples) {
  size_t k = 0;
  // The first track counts from position kEdgeSamples on, with that weight.
  if (first_ && summed_to_ + 1 < kEdgeSamples)
    k = std::min<size_t>(samples, kEdgeSamples - (summed_to_ + 1));
  uint32_t low = low_;
  uint32_t high = high_;
  uint64_t i = summed_to_ + k;
  for (; k < samples; ++k) {
    const uint64_t product = ++i * Sample(data + k * 4);
    low += uint32_t(product);
    high += uint32_t(product >> 32);
  }
  low_ = low;
  high_ = high;
  summed_to_ += samples;
}

TrackSums TrackChecksum::Finish() const {
  TrackSums sums;
  sums.v1 = low_;
  sums.v2 = low_ + high_;
  if (position_ >= kSector450Last) sums.crc450 = crc450_;
  sums.crc32 = crc32_;
  sums.samples = position_;
  return sums;
}

}  // namespace tonvik::accuraterip
