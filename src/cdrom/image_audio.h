// The files a cue sheet names, as a run of CD audio bytes (16-bit
// little-endian stereo at 44100 Hz, 4 bytes a sample frame): raw images
// (BINARY, or MOTOROLA with each 16-bit word byte-swapped), RIFF WAV files
// (the PCM of their data chunk) and FLAC files decoded through libFLAC.
// WAVE files are told apart by their content and read by image_wav.h or
// image_flac.h (which says how FLAC damage is reported).
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace tonvik::cdrom {

class ImageFile {
 public:
  enum Type { Binary, Motorola, Wave };
  virtual ~ImageFile() = default;
  // Bytes of audio (or of raw sectors) the file holds.
  int64_t bytes() const { return bytes_; }
  // Bytes [offset, offset + n) into out, offset and n multiples of 4 within
  // bytes(). False when they cannot be read (I/O error, damaged FLAC).
  virtual bool Read(int64_t offset, uint8_t* out, size_t n) = 0;

  // Reads the open file (size bytes; the caller keeps the descriptor open
  // and closes it) as its sheet type; WAVE files are told apart by their
  // content. nullptr with *error saying what the file is when it is not CD
  // audio ("name" is how the sheet wrote it, for the message).
  static std::unique_ptr<ImageFile> Open(int fd, int64_t size, Type type, const std::string& name,
                                         std::string* error);

 protected:
  int64_t bytes_ = 0;
};

}  // namespace tonvik::cdrom
