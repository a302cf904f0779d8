// A sheet naming a FLAC file of the input, read through the image drive
// (image_file_harness.h): in order, then backwards through seeks.
#include "image_file_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tonvik::fuzz::ReadThroughTheDrive("fuzz-cue-flac", "track.flac", data, size);
  return 0;
}
