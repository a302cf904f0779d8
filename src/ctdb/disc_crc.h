// The CTDB CRCs of a rip, streamed: the whole disc's CRC and each audio
// track's at every shift within +-5879 samples, without keeping the audio.
//
// X[0..N) is the offset-corrected audio from the first audio track's INDEX 01
// to the end of the audio (AudioLayout). With P = 5880 and
// L = 5880 + N mod 5880, the disc CRC at shift o is zlib's CRC-32 of the
// bytes of X[P+o .. N-L+o); track t covers X[lo_t+o .. hi_t+o) with
// lo_1 = P, lo_t = b_t, hi_t = b_{t+1}, hi_n = N-L. A shift o > 0 reads the
// rip o samples later than the database entry: a rip that has o more leading
// samples than the one submitted matches at +o.
//
// While the PCM goes by, only the running CRC after each sample in
// +-5879 samples around each window edge (P, every b_t, N-L) is kept, about
// 47 KB per edge; the CRCs follow from two of them by CrcShift.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "ctdb/crc_shift.h"
#include "ctdb/toc.h"

namespace tonvik::ctdb {

inline constexpr uint64_t kStride = 5880;  // P: ten sectors of samples
inline constexpr int kMaxShift = 5879;     // the farthest shift looked at, either way

class DiscCrc {
 public:
  explicit DiscCrc(const AudioLayout& layout);

  // 16-bit little-endian stereo PCM (4 bytes a sample, left first), every
  // audio track in disc order from X[0], in chunks of any size.
  void Add(const uint8_t* data, size_t size);

  uint64_t samples_fed() const { return bytes_ / 4; }
  // Exactly N samples were fed: the CRCs below exist only then.
  bool complete() const { return bytes_ == layout_.samples * 4; }
  int tracks() const { return layout_.audio_tracks(); }

  // nullopt while incomplete, on a disc shorter than 3 * P samples, and
  // beyond +-kMaxShift.
  std::optional<uint32_t> Disc(int shift) const;
  // Track t (0-based). Also nullopt where the shifted window would leave the
  // audio or is empty (a first track shorter than P).
  std::optional<uint32_t> Track(int track, int shift) const;

 private:
  struct Window {
    uint64_t lo = 0;
    uint64_t hi = 0;  // exclusive; the window is usable when lo < hi
    CrcShift shift;
  };
  struct Kept {
    uint64_t first = 0;  // the sample position of states[0]
    uint64_t last = 0;
    std::vector<uint32_t> states;  // the running CRC of X[0..k) for k = first..
  };
  void Keep();
  std::optional<uint32_t> StateAt(uint64_t sample) const;
  std::optional<uint32_t> Crc(const Window& window, int shift) const;

  AudioLayout layout_;
  std::optional<Window> disc_;
  std::vector<std::optional<Window>> tracks_;
  std::vector<Kept> kept_;  // ascending, disjoint
  size_t next_kept_ = 0;
  uint64_t bytes_ = 0;
  uint32_t crc_ = 0;  // zlib's CRC-32 of every byte so far
};

}  // namespace tonvik::ctdb
