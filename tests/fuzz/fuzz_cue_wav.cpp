// A sheet naming a WAV file of the input, read through the image drive
// (image_file_harness.h).
#include "image_file_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tonvik::fuzz::ReadThroughTheDrive("fuzz-cue-wav", "track.wav", data, size);
  return 0;
}
