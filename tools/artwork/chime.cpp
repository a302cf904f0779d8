// The completion sound: two bell-like notes (E6, then A6) with soft attack and
// exponential decay, 44100 Hz, 16-bit mono, about 0.9 s.
#include <QByteArray>
#include <QtEndian>
#include <cmath>
#include <vector>

#include "artwork.h"

namespace artwork {

namespace {
void AppendLe(QByteArray& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.append(char((v >> (8 * i)) & 0xFF));
}
}  // namespace

QByteArray Chime() {
  constexpr int kRate = 44100;
  const int total = kRate * 9 / 10;
  std::vector<double> mix(total, 0.0);
  struct Note { double start, frequency, gain; } notes[] = {{0.0, 1318.51, 0.55}, {0.12, 1760.0, 0.45}};
  for (const auto& n : notes) {
    const int first = int(n.start * kRate);
    for (int i = first; i < total; ++i) {
      const double t = double(i - first) / kRate;
      const double attack = std::min(1.0, t / 0.004);
      const double envelope = attack * std::exp(-t * 6.0);
      // Fundamental plus two soft partials, the upper one slightly inharmonic like a bell.
      const double v = std::sin(2 * M_PI * n.frequency * t) + 0.35 * std::sin(2 * M_PI * n.frequency * 2.0 * t) * std::exp(-t * 6.0) +
                       0.12 * std::sin(2 * M_PI * n.frequency * 3.01 * t) * std::exp(-t * 10.0);
      mix[i] += n.gain * envelope * v;
    }
  }
  QByteArray pcm;
  for (int i = 0; i < total; ++i) {
    const double fade = i > total - 2000 ? double(total - i) / 2000 : 1.0;  // no click at the end
    const int s = int(std::lround(std::clamp(mix[i] * fade * 0.6, -1.0, 1.0) * 32767));
    AppendLe(pcm, uint16_t(int16_t(s)), 2);
  }
  QByteArray wav;
  wav.append("RIFF");
  AppendLe(wav, 36 + pcm.size(), 4);
  wav.append("WAVEfmt ");
  AppendLe(wav, 16, 4);
  AppendLe(wav, 1, 2);  // PCM
  AppendLe(wav, 1, 2);  // mono
  AppendLe(wav, kRate, 4);
  AppendLe(wav, kRate * 2, 4);
  AppendLe(wav, 2, 2);
  AppendLe(wav, 16, 2);
  wav.append("data");
  AppendLe(wav, pcm.size(), 4);
  wav.append(pcm);
  return wav;
}

}  // namespace artwork
