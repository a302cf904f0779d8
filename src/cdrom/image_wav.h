// RIFF WAV files a sheet names as WAVE: the PCM of their data chunk, when it
// is CD audio.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "cdrom/image_audio.h"

namespace tonvik::cdrom::image_io {

// The open file (size bytes, "RIFF....WAVE" at its start) as its data
// chunk; nullptr with *error saying what the file is when it is not 16-bit
// 44100 Hz stereo PCM or its chunks cannot be found.
std::unique_ptr<ImageFile> OpenWav(int fd, int64_t size, const std::string& name, std::string* error);

}  // namespace tonvik::cdrom::image_io
