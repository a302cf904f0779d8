// The abstract encoder and its factory. The rip job creates one encoder per
// track, feeds it PCM with Write, calls Finish once and destroys it.
//
// Every encoder writes into a temporary file in the target folder and renames
// it over the target only when Finish has completed. Destroying an encoder
// without a successful Finish (cancel, read error, encoder error) removes the
// temporary file and leaves any old file of the target name untouched, so the
// caller never deletes the target path itself.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "encoders/selection.h"
#include "encoders/tag_data.h"

namespace tonvik {

class OverwritePolicy;

// What one encoder writes and how; an encoder reads nothing else.
struct EncoderTarget {
  std::u16string path;      // the full output path
  EncoderSelection format;  // format number, preset and custom value
  bool force_cbr = false;   // MP3 at the constant bit rate of the choice (MP3ForceCBR)
  // Decides about an existing file; nullptr replaces it without asking. Not owned.
  OverwritePolicy* overwrite = nullptr;
};

class CEncoder {
 public:
  virtual ~CEncoder();
  // Consumes bytes of interleaved little-endian signed PCM (8-bit data is
  // unsigned, offset 128); stores the whole count in *taken when given. The
  // first call starts the codec from the format fields and the selection.
  virtual void Write(const void* data, uint32_t bytes, uint32_t* taken = nullptr) = 0;
  // Flushes, writes trailers and tags and puts the file in place. Throws
  // EncoderException "write error" when any of it fails.
  virtual void Finish() = 0;

  // Set by the factory right after construction (44100, 2, 16).
  int32_t sample_rate = -1;
  int32_t channels = -1;
  int32_t bits_per_sample = -1;
  // The track's metadata; empty for WAV.
  std::shared_ptr<CTagData> tags;
};

// An encoder of the target's format writing to the target's path. Throws
// SkipFileException when the user declines the overwrite, EncoderException
// "encoder not available" for a format without an encoder.
std::unique_ptr<CEncoder> CreateEncoder(const EncoderTarget& target, std::shared_ptr<CTagData> tags);

// The extension of a target format; EncoderException "unknown target format"
// for any other number.
std::u16string GetTargetExtension(int format_number);

}  // namespace tonvik
