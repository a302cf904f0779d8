#include "modules/wmvcore/codec_formats.h"

#include <vector>

#include "modules/wmvcore/profile_manager.h"

namespace wmvcore {

namespace {

constexpr uint32_t kCbrRates[] = {64000, 80000, 96000, 128000, 160000, 192000, 256000, 320000};

struct Quality {
  uint8_t quality;
  uint32_t stereo_rate, mono_rate;  // bit/s
};
constexpr Quality kQualities[] = {
    {10, 48000, 32000},  {25, 64000, 40000},  {50, 128000, 64000},
    {75, 160000, 80000}, {90, 192000, 96000}, {98, 256000, 128000},
};

// What libavcodec's wmav2 encoder writes as its extra data: flags 0, then
// exponents coded by VLC (1), then four reserved bytes.
const std::vector<BYTE> kExtra = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0};

WAVEFORMATEX Wave(uint16_t channels, uint32_t avg_bytes, uint32_t bit_rate) {
  WAVEFORMATEX w{};
  w.wFormatTag = WAVE_FORMAT_WMAUDIO2;
  w.nChannels = channels;
  w.nSamplesPerSec = kSampleRate;
  w.nAvgBytesPerSec = avg_bytes;
  w.nBlockAlign = BlockAlign(bit_rate, kSampleRate);
  w.wBitsPerSample = 16;
  return w;
}

// The bytes-per-second field of a quality format: the rate's bytes with the
// quality in the low byte.
uint32_t QualityField(uint32_t bit_rate, uint8_t quality) { return ((bit_rate / 8) & ~0xFFu) | quality; }

}  // namespace

uint16_t BlockAlign(uint32_t bit_rate, uint32_t sample_rate) {
  const uint64_t align = static_cast<uint64_t>(bit_rate) * kFrameSamples / (sample_rate * 8ull);
  return static_cast<uint16_t>(align > 32768 ? 32768 : align);
}

uint32_t EncodingBitrate(const WAVEFORMATEX& wave) {
  for (const Quality& q : kQualities) {
    const uint32_t rate = wave.nChannels == 1 ? q.mono_rate : q.stereo_rate;
    if (wave.nAvgBytesPerSec == QualityField(rate, q.quality)) return rate;
  }
  return wave.nAvgBytesPerSec * 8;
}

std::vector<MediaType> CodecFormatList(bool vbr) {
  std::vector<MediaType> list;
  for (uint16_t channels : {2, 1}) {
    if (vbr) {
      for (const Quality& q : kQualities) {
        const uint32_t rate = channels == 1 ? q.mono_rate : q.stereo_rate;
        list.push_back(AudioMediaType(Wave(channels, QualityField(rate, q.quality), rate), kExtra));
      }
    } else {
      for (uint32_t rate : kCbrRates) list.push_back(AudioMediaType(Wave(channels, rate / 8, rate), kExtra));
    }
  }
  return list;
}

}  // namespace wmvcore
