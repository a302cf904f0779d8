// FLAC files a sheet names as WAVE, decoded through libFLAC.
//
// FLAC damage is a read error of the samples concerned, never silence passed
// on as audio: a frame whose CRC fails (or that the decoder lost sync over)
// fails every read that touches it, and so does a frame numbered before one
// already decoded (together with the samples it claims, which were delivered
// once already); samples STREAMINFO promises but the file does not hold fail
// too. Two faults fail the read that finds them and every later read of the
// file: frames that run past the length STREAMINFO states, and, when a file
// has been decoded from its first sample to its end without a seek (a rip
// of the whole image in order), a decoded MD5 that differs from
// STREAMINFO's. Reads are served by a decoder that moves forward; a read
// behind it or far ahead seeks.
#pragma once
#include <memory>
#include <string>

#include "cdrom/image_audio.h"

namespace tonvik::cdrom::image_io {

// The open file as the CD audio it decodes to; nullptr with *error saying
// what the file is when it is not 16-bit 44100 Hz stereo of a stated length
// or its stream information cannot be read.
std::unique_ptr<ImageFile> OpenFlac(int fd, const std::string& name, std::string* error);

}  // namespace tonvik::cdrom::image_io
