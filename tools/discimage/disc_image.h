// Deterministic CUE/BIN test images: the same arguments always give the same bytes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tonvik::discimage {

struct ImageTrack {
  enum Kind { Audio, Mode1, Mode2 };
  Kind kind;
  int32_t sectors;
  // Music: several detuned partials under a note envelope with a little noise,
  // left and right different. FullScale: a square alternating +32767/-32768.
  enum Signal { Music, Silence, FullScale };
  Signal signal;
  int session = 1;  // 2 starts the second session (enhanced CD)
};

// The 2352 bytes of one sector of track `track_index` (0-based), sector
// `sector` counted from the track's start.
void FillSector(const ImageTrack& track, int track_index, int32_t sector, int32_t lba, uint8_t* out);

// Writes the cue sheet and its BIN file(s) next to it: <stem>.bin, or
// <stem>-NN.bin per track. False with *error set on failure.
bool WriteDiscImage(const std::string& cue_path, const std::vector<ImageTrack>& tracks,
                    bool one_bin_per_track, std::string* error);

// Ready-made layouts by name (demo, clean10, disc10x1, mixed, enhanced, data,
// tiny, t99); false for an unknown name.
bool Preset(const std::string& name, std::vector<ImageTrack>* tracks);

}  // namespace tonvik::discimage
