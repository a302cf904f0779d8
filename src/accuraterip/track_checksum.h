// The sums of one ripped track as its PCM goes by: AccurateRip v1 and v2,
// the sum of sector 450 and the CRC32 of the bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tonvik::accuraterip {

inline constexpr int kSamplesPerSector = 588;
// Five sectors at either end of the disc are left out of the sums.
inline constexpr uint32_t kEdgeSamples = 5 * kSamplesPerSector;

struct TrackSums {
  uint32_t v1 = 0;
  uint32_t v2 = 0;
  std::optional<uint32_t> crc450;  // none for a track of 450 sectors or fewer
  uint32_t crc32 = 0;              // zlib's CRC32 of every byte fed
  uint64_t samples = 0;
};

// Fed 16-bit little-endian stereo PCM (4 bytes a sample, left first) in
// chunks of any size, offset-corrected, from the track's INDEX 01 on. Each
// sample v (the 4 bytes as a little-endian word) is weighted by its 1-based
// position i: v1 adds the low 32 bits of i * v, v2 both halves. The disc's
// first track counts from i = 2940 (its first 2939 samples are skipped), the
// last track leaves out its last 2940 samples; a one-track disc does both.
// The last track's tail is therefore held back until more comes or Finish.
class TrackChecksum {
 public:
  TrackChecksum(bool first_track, bool last_track);
  void Add(const uint8_t* data, size_t size);
  // The sums so far; a trailing partial sample is not part of them. Add may
  // go on afterwards.
  TrackSums Finish() const;

 private:
  void Take(const uint8_t* data, size_t samples);
  void Sum(const uint8_t* data, size_t samples);

  bool first_;
  bool last_;
  uint64_t position_ = 0;      // samples summed or held so far; the next one is position_ + 1
  uint64_t summed_to_ = 0;     // position of the last sample that went into v1/v2
  uint32_t low_ = 0;
  uint32_t high_ = 0;
  uint32_t crc450_ = 0;
  uint32_t crc32_;
  uint8_t partial_[4] = {};
  size_t partial_size_ = 0;
  std::vector<uint8_t> held_;  // the last track's most recent samples, from held_head_ on
  size_t held_head_ = 0;
};

}  // namespace tonvik::accuraterip
