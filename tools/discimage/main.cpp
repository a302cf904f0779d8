// make_disc_image <preset> <out.cue>
// make_disc_image custom <out.cue> <seconds> [<seconds> ...]
// Presets: demo clean10 disc10x1 mixed enhanced data tiny t99. Prints only errors.
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "disc_image.h"

int main(int argc, char** argv) {
  using tonvik::discimage::ImageTrack;
  const char* usage =
      "usage: make_disc_image <demo|clean10|disc10x1|mixed|enhanced|data|tiny|t99> <out.cue>\n"
      "       make_disc_image custom <out.cue> <seconds> [<seconds> ...]\n";
  if (argc < 3) {
    std::fputs(usage, stderr);
    return 2;
  }
  const std::string preset = argv[1];
  std::vector<ImageTrack> tracks;
  if (preset == "custom") {
    for (int i = 3; i < argc; ++i) {
      char* end = nullptr;
      const double seconds = std::strtod(argv[i], &end);
      if (*end != 0 || seconds <= 0 || seconds > 4800) {
        std::fprintf(stderr, "make_disc_image: bad track length \"%s\"\n", argv[i]);
        return 2;
      }
      tracks.push_back({ImageTrack::Audio, std::max(1, int(seconds * 75)), ImageTrack::Music});
    }
    if (tracks.empty()) {
      std::fputs(usage, stderr);
      return 2;
    }
  } else if (argc != 3 || !tonvik::discimage::Preset(preset, &tracks)) {
    std::fputs(usage, stderr);
    return 2;
  }
  std::string error;
  if (!tonvik::discimage::WriteDiscImage(argv[2], tracks, false, &error)) {
    std::fprintf(stderr, "make_disc_image: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
