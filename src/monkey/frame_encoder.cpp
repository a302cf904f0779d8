#include "monkey/frame_encoder.h"

#include <zlib.h>

namespace tonvik::monkey {
namespace {

template <int Bits>
inline int32_t SampleAt(const uint8_t* p) {
  if constexpr (Bits == 16) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
  } else {
    return static_cast<int32_t>(p[0]) - 128;
  }
}

template <int Bits>
uint32_t SpecialFlags(const uint8_t* pcm, uint32_t blocks, int channels) {
  constexpr int bytes = Bits / 8;
  if (channels == 1) {
    for (uint32_t i = 0; i < blocks; ++i) {
      if (SampleAt<Bits>(pcm + i * bytes) != 0) return 0;
    }
    return kMonoSilent;
  }
  bool first_zero = true, second_zero = true, equal = true;
  for (uint32_t i = 0; i < blocks; ++i) {
    const int32_t a = SampleAt<Bits>(pcm + 2 * i * bytes);
    const int32_t b = SampleAt<Bits>(pcm + (2 * i + 1) * bytes);
    first_zero &= a == 0;
    second_zero &= b == 0;
    equal &= a == b;
  }
  return (second_zero ? kSecondChannelSilent : 0) | (first_zero ? kFirstChannelSilent : 0) |
         (equal ? kPseudoStereo : 0);
}

}  // namespace

FrameEncoder::FrameEncoder(int channels, int bits_per_sample, int compression_level)
    : channels_(channels), bits_(bits_per_sample), x_(compression_level), y_(compression_level) {}

void FrameEncoder::Encode(const uint8_t* pcm, uint32_t blocks, ByteSink* out) {
  const uint32_t bytes = blocks * static_cast<uint32_t>(channels_ * bits_ / 8);
  const uint32_t crc = static_cast<uint32_t>(crc32(0, pcm, bytes));
  const uint32_t flags = bits_ == 16 ? SpecialFlags<16>(pcm, blocks, channels_)
                                     : SpecialFlags<8>(pcm, blocks, channels_);
  out->PutBigEndian32((crc >> 1) | (flags ? 0x80000000u : 0));
  if (flags) out->PutBigEndian32(flags);

  RangeEncoder rc(out);
  x_.Reset();
  y_.Reset();
  if (bits_ == 16) {
    EncodeSamples<16>(pcm, blocks, flags, rc);
  } else {
    EncodeSamples<8>(pcm, blocks, flags, rc);
  }
  rc.Finish();
}

template <int Bits>
void FrameEncoder::EncodeSamples(const uint8_t* pcm, uint32_t blocks, uint32_t flags,
                                 RangeEncoder& rc) {
  constexpr int bytes = Bits / 8;
  uint32_t ksum_x = 16384, ksum_y = 16384;
  if (channels_ == 1) {
    if (flags & kMonoSilent) return;
    for (uint32_t i = 0; i < blocks; ++i) {
      EncodeResidual(rc, ksum_x, x_.Compress(SampleAt<Bits>(pcm + i * bytes), 0));
    }
    return;
  }
  if ((flags & (kFirstChannelSilent | kSecondChannelSilent)) ==
      (kFirstChannelSilent | kSecondChannelSilent)) {
    return;
  }
  if (flags & kPseudoStereo) {
    for (uint32_t i = 0; i < blocks; ++i) {
      EncodeResidual(rc, ksum_x, x_.Compress(SampleAt<Bits>(pcm + 2 * i * bytes), 0));
    }
    return;
  }
  // Y = second - first, X = first + Y/2 (truncating); Y leans on the
  // previous X, X on the current Y.
  int32_t last_x = 0;
  for (uint32_t i = 0; i < blocks; ++i) {
    const int32_t first = SampleAt<Bits>(pcm + 2 * i * bytes);
    const int32_t second = SampleAt<Bits>(pcm + (2 * i + 1) * bytes);
    const int32_t y = second - first;
    const int32_t x = first + y / 2;
    EncodeResidual(rc, ksum_y, y_.Compress(y, last_x));
    EncodeResidual(rc, ksum_x, x_.Compress(x, y));
    last_x = x;
  }
}

}  // namespace tonvik::monkey
