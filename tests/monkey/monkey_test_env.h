// Shared helpers of the Monkey's Audio tests: a temporary folder, test
// signals, encoding through the library, and the independent tools.
#pragma once
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/shell.h"
#include "monkey/ape_compress.h"

namespace tonvik::monkey::test {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/tonvik-monkey-XXXXXX";
    root_ = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  std::string Path(const std::string& name) const { return root_ + "/" + name; }

 private:
  std::string root_;
};

using Bytes = std::vector<uint8_t>;

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t Le32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

using tonvik::testing::Shell;

// The strictest ffmpeg decode: any CRC or decoding error makes it fail.
inline std::string FfmpegDecode(const std::string& path, int bits, int* status) {
  return Shell(std::string("ffmpeg -v error -xerror -err_detect crccheck+explode -i '") + path +
                   "' -f " + (bits == 8 ? "u8" : "s16le") + " - 2>/dev/null",
               status);
}

inline long ProbeDurationTs(const std::string& path) {
  return std::atol(Shell("ffprobe -v error -show_entries stream=duration_ts -of default=nw=1:nk=1 '" +
                         path + "'")
                       .c_str());
}

enum class Signal { kMusic, kSilence, kSame, kFirstSilent, kSecondSilent, kAntiPhase, kNoise,
                    kSquare, kDither };

// Interleaved little-endian PCM, deterministic. Channel 0 comes first; mono
// takes channel 0 alone. 8-bit PCM is unsigned (128 is silence).
inline Bytes MakeSignal(Signal kind, size_t blocks, int channels, int bits = 16, uint32_t seed = 7) {
  uint32_t state = seed;
  auto next = [&state] { return state = state * 1664525u + 1013904223u; };
  const int top = bits == 16 ? 32767 : 127;
  int run = 0, held = 0;
  Bytes out;
  for (size_t i = 0; i < blocks; ++i) {
    // Detuned partials under note envelopes, and a little noise.
    const double t = static_cast<double>(i) / 44100.0, phase = std::fmod(t, 0.7);
    const double env = std::exp(-3.0 * phase) * (1 - std::exp(-200.0 * phase));
    double music = 0;
    for (int k = 1; k <= 4; ++k) music += std::sin(2 * M_PI * (220.0 * k + 0.7 * k * k) * t) / k;
    const double noise = static_cast<int>(next() >> 20) / 4096.0 - 0.5;
    int a = static_cast<int>(top * (0.45 * env * music + 0.01 * noise));
    int b = static_cast<int>(top * (0.4 * env * std::sin(2 * M_PI * 331.0 * t + music) - 0.01 * noise));
    switch (kind) {
      case Signal::kMusic: break;
      case Signal::kSilence: a = b = 0; break;
      case Signal::kSame: b = a; break;
      case Signal::kFirstSilent: a = 0; break;
      case Signal::kSecondSilent: b = 0; break;
      case Signal::kAntiPhase: a = std::clamp(a * 3, -top, top), b = -a; break;
      case Signal::kNoise:  // the whole range, both extremes regularly
        a = i % 97 ? static_cast<int>(next() >> 16) - 32768 : -32768;
        b = i % 97 ? static_cast<int>(next() >> 16) - 32768 : 32767;
        if (bits == 8) a >>= 8, b >>= 8;
        break;
      case Signal::kSquare:
        a = (i / 50) % 2 ? top : -top - 1;
        b = (i / 73) % 2 ? -top - 1 : top;
        break;
      case Signal::kDither:  // steps of 1 between long constant runs
        if (run-- <= 0) run = static_cast<int>(next() >> 19), held = static_cast<int>(next() >> 30) - 1;
        a = held;
        b = i % 3 ? 0 : held;
        break;
    }
    for (int v : {a, b}) {
      if (bits == 8) out.push_back(static_cast<uint8_t>(v + 128));
      if (bits == 16) out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
      if (channels == 1) break;
    }
  }
  return out;
}

struct EncodeOptions {
  size_t chunk = 61152;  // the ripper's
  int64_t max_bytes = MAX_AUDIO_BYTES_UNKNOWN;
  Bytes header = {};     // stored WAV header; none: created on decompression
  Bytes terminating = {};
};

// Encodes the PCM into path through a FileIO. Returns the first error.
inline int EncodeFile(const std::string& path, const Bytes& pcm, int level, int channels, int bits,
                      const EncodeOptions& o = {}) {
  FileIO io;
  CAPECompress encoder;
  const auto format = MakeWaveFormat(44100, static_cast<uint16_t>(bits), static_cast<uint16_t>(channels));
  const int64_t header = o.header.empty() ? CREATE_WAV_HEADER_ON_DECOMPRESSION : o.header.size();
  int rc = io.Create(path.c_str());
  if (!rc) rc = encoder.Start(&io, &format, o.max_bytes, level, o.header.data(), header);
  for (size_t at = 0; !rc && at < pcm.size(); at += o.chunk) {
    rc = encoder.AddData(pcm.data() + at, static_cast<int>(std::min(o.chunk, pcm.size() - at)));
  }
  const int t = static_cast<int>(o.terminating.size());
  return rc ? rc : encoder.Finish(o.terminating.data(), t, t);
}

// Blocks per frame at a level.
inline size_t FrameBlocks(int level) { return level == 4000 ? 294912 : 73728; }

}  // namespace tonvik::monkey::test
