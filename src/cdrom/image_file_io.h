// What the readers of a sheet's files share (image_audio.cpp dispatches to
// them; image_wav.cpp and image_flac.cpp read the two containers): reads at
// an offset, the words of their messages, and raw bytes served as they lie.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "cdrom/image_audio.h"

namespace tonvik::cdrom::image_io {

inline constexpr int kCdRate = 44100;
inline constexpr char kCdAudio[] = "not CD audio (16-bit 44100 Hz stereo)";

// The file's name as messages quote it.
std::string Quoted(const std::string& name);
// "24-bit 48000 Hz stereo" and the like.
std::string Describe(unsigned bits, unsigned rate, unsigned channels);
// n bytes at offset, all of them or false.
bool FullRead(int fd, void* out, size_t n, int64_t offset);

// Bytes of the file as they stand (BINARY, a WAV data chunk), or with each
// 16-bit word swapped (MOTOROLA).
class RawFile : public ImageFile {
 public:
  RawFile(int fd, int64_t start, int64_t bytes, bool swap) : fd_(fd), start_(start), swap_(swap) { bytes_ = bytes; }
  bool Read(int64_t offset, uint8_t* out, size_t n) override;

 private:
  int fd_;
  int64_t start_;
  bool swap_;
};

}  // namespace tonvik::cdrom::image_io
