// Feeds a raw PCM file (44100 Hz, stereo, 16-bit) through CEncoder::Write in
// the rip job's 61152-byte chunks and prints the seconds from creating the
// encoder to the finished file (input reading included); the script takes
// peak memory of the whole process.
//   encoders_bench <format> <preset> <custom> <force-cbr 0|1> <in.raw> <out>
// The machine hive must already point AppPath at lame_enc.so and
// SystemModulesDir at wmvcore.so.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/app_exception.h"
#include "core/settings.h"
#include "encoders/encoder.h"
#include "encoders/selection.h"
#include "platform/registry.h"
#include "platform/text.h"

int main(int argc, char** argv) {
  using namespace tonvik;
  if (argc != 7) {
    std::fprintf(stderr, "usage: %s format preset custom force-cbr in.raw out\n", argv[0]);
    return 2;
  }
  const EncoderTarget target{FromUtf8(argv[6]), {std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3])},
                             std::atoi(argv[4]) != 0};
  FILE* in = std::fopen(argv[5], "rb");
  if (!in) return 1;
  double seconds = 0;
  try {
    const auto start = std::chrono::steady_clock::now();
    auto encoder = CreateEncoder(target, std::make_shared<CEmptyTagData>());
    std::vector<char> chunk(61152);
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), in)) > 0) {
      encoder->Write(chunk.data(), static_cast<uint32_t>(n));
    }
    encoder->Finish();
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  } catch (const AppException& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fclose(in);
  // From the encoder's creation to the finished file, reading the input included.
  std::printf("%.4f\n", seconds);
  return 0;
}
