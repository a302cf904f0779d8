// accuraterip_bench [seconds of audio] [runs]
//
// Throughput of TrackChecksum (v1, v2, sector 450 and CRC32 together) fed
// the way the rip feeds it, a sector's 2352 bytes at a time, for a middle
// track and for the disc's last track (whose tail is held back), against
// zlib's crc32 alone over the same buffer in one call. Best of the runs, in
// MB/s (10^6 bytes); ratio = the accumulator's speed over crc32's.
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "accuraterip/track_checksum.h"

namespace {

using tonvik::accuraterip::TrackChecksum;

double BestSeconds(int runs, const std::function<void()>& work) {
  double best = 1e30;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 300;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  // Noise stands in for music: the sums' cost does not depend on the values.
  std::vector<uint8_t> pcm(size_t(seconds) * 44100 * 4);
  std::mt19937 random(1);
  for (size_t i = 0; i < pcm.size(); i += 4) {
    const uint32_t v = random();
    for (int b = 0; b < 4; ++b) pcm[i + size_t(b)] = uint8_t(v >> (8 * b));
  }
  volatile uint32_t sink = 0;
  const double mb = double(pcm.size()) / 1e6;

  const double zlib = BestSeconds(runs, [&] { sink = uint32_t(crc32(0, pcm.data(), uInt(pcm.size()))); });
  auto accumulate = [&](bool first, bool last) {
    return BestSeconds(runs, [&] {
      TrackChecksum sum(first, last);
      for (size_t at = 0; at < pcm.size(); at += 2352) sum.Add(pcm.data() + at, std::min<size_t>(2352, pcm.size() - at));
      sink = sum.Finish().v2;
    });
  };
  const double middle = accumulate(false, false);
  const double last = accumulate(false, true);

  std::printf("%-40s %10s %8s\n", "measure", "MB/s", "ratio");
  std::printf("%-40s %10.0f %8s\n", "zlib crc32, one call", mb / zlib, "1.00");
  std::printf("%-40s %10.0f %8.2f\n", "TrackChecksum, middle track, 2352 B", mb / middle, zlib / middle);
  std::printf("%-40s %10.0f %8.2f\n", "TrackChecksum, last track, 2352 B", mb / last, zlib / last);
  std::printf("(%.0f MB of PCM, best of %d)\n", mb, runs);
  return sink == 0xFFFFFFFF ? 1 : 0;  // keeps the sums alive
}
