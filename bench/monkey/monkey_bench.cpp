// Encodes raw PCM from a file with the Monkey's Audio library, reading it in
// the ripper's 61152-byte chunks, and prints the CPU seconds and the wall
// seconds from Start to Finish.
//   monkey_bench <level> <channels> <bits> <in.raw> <out.ape>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "monkey/ape_compress.h"

using namespace tonvik::monkey;

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: monkey_bench <level> <channels> <bits> <in.raw> <out.ape>\n");
    return 2;
  }
  const int level = std::atoi(argv[1]);
  const auto channels = static_cast<uint16_t>(std::atoi(argv[2]));
  const auto bits = static_cast<uint16_t>(std::atoi(argv[3]));
  std::FILE* in = std::fopen(argv[4], "rb");
  if (!in) {
    std::perror(argv[4]);
    return 1;
  }
  std::vector<unsigned char> chunk(61152);

  timespec cpu0, cpu1;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
  const auto t0 = std::chrono::steady_clock::now();
  FileIO io;
  CAPECompress encoder;
  const WaveFormat format = MakeWaveFormat(44100, bits, channels);
  int rc = io.Create(argv[5]);
  if (!rc) rc = encoder.Start(&io, &format, MAX_AUDIO_BYTES_UNKNOWN, level);
  for (size_t n; !rc && (n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0;) {
    rc = encoder.AddData(chunk.data(), static_cast<int>(n));
  }
  if (!rc) rc = encoder.Finish(nullptr, 0, 0);
  if (!rc) rc = io.Close();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
  const double cpu = static_cast<double>(cpu1.tv_sec - cpu0.tv_sec) + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e9;
  if (rc) {
    std::fprintf(stderr, "monkey_bench: error %d\n", rc);
    return 1;
  }
  std::printf("%.4f %.4f\n", cpu, took.count());
  return 0;
}
