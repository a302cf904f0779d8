// One frame of PCM to its bytes in stream order: the CRC word, the optional
// special-frame word and the range-coded residuals.
#pragma once
#include <cstdint>

#include "monkey/predictor.h"
#include "monkey/range_coder.h"

namespace tonvik::monkey {

// Special-frame flags (stereo: bit 1 second channel silent, bit 2 first
// channel silent, bit 4 both channels equal; mono: bit 1 silent).
inline constexpr uint32_t kSecondChannelSilent = 1;
inline constexpr uint32_t kFirstChannelSilent = 2;
inline constexpr uint32_t kPseudoStereo = 4;
inline constexpr uint32_t kMonoSilent = 1;

class FrameEncoder {
 public:
  // bits_per_sample 8 (unsigned samples) or 16; channels 1 or 2.
  FrameEncoder(int channels, int bits_per_sample, int compression_level);

  // Appends the frame for `blocks` blocks of interleaved little-endian PCM.
  void Encode(const uint8_t* pcm, uint32_t blocks, ByteSink* out);

 private:
  template <int Bits>
  void EncodeSamples(const uint8_t* pcm, uint32_t blocks, uint32_t flags, RangeEncoder& rc);

  int channels_;
  int bits_;
  Predictor x_, y_;
};

}  // namespace tonvik::monkey
