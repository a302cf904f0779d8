// The formats of this runtime's Windows Media Audio codec (libavcodec's wmav2
// encoder): 44100 Hz, stereo and mono.
//
// Constant bit rate: every rate of the WMA custom table, 64 to 320 kbit/s;
// the bytes-per-second field is the rate ÷ 8.
//
// Quality ("_VBRENABLED"): qualities 10, 25, 50, 75, 90 and 98, the quality
// in the low byte of the bytes-per-second field as the encoder reads it and
// the rate the quality stands for in the bytes above it. wmav2 has no
// variable-bit-rate mode: a quality format is encoded at a constant rate
// chosen for the quality, inside the range the presets promise (quality 10
// and 25 for "40-75kbps", 50 for "85-145kbps", 75 and 90 for "135-215kbps").
#pragma once
#include <cstdint>

#include "modules/wmvcore/wmsdk.h"

namespace wmvcore {

inline constexpr uint32_t kSampleRate = 44100;
inline constexpr uint32_t kFrameSamples = 2048;  // wmav2 at 44100 Hz

// The rate, in bit/s, the writer encodes a stream of this wave format at: a
// quality format's chosen rate, otherwise bytes per second × 8.
uint32_t EncodingBitrate(const WAVEFORMATEX& wave);

// libavcodec's block align for a rate: bytes per frame of 2048 samples.
uint16_t BlockAlign(uint32_t bit_rate, uint32_t sample_rate);

}  // namespace wmvcore
