#include "cdrom/image_wav.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cdrom/image_file_io.h"

namespace tonvik::cdrom::image_io {
namespace {

// Bytes 2..15 of KSDATAFORMAT_SUBTYPE_PCM and of every GUID made from a
// WAVE_FORMAT tag: {0000xxxx-0000-0010-8000-00aa00389b71}.
constexpr uint8_t kWaveGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16) | uint32_t(p[3]) << 24; }

}  // namespace

// Walks the RIFF chunks for "fmt " and "data"; whatever else lies between
// (LIST, fact, bext, padding) is skipped.
std::unique_ptr<ImageFile> OpenWav(int fd, int64_t size, const std::string& name, std::string* error) {
  auto fail = [&](const std::string& what) {
    *error = Quoted(name) + " " + what;
    return nullptr;
  };
  // The format chunk's first 40 bytes (the whole WAVEFORMATEXTENSIBLE) and
  // its size; a later "fmt " chunk replaces an earlier one entirely.
  uint8_t fmt[40] = {};
  uint32_t fmt_size = 0;
  bool have_fmt = false;
  int64_t at = 12;
  while (at + 8 <= size) {
    uint8_t head[8];
    if (!FullRead(fd, head, 8, at)) return fail("cannot be read");
    const uint32_t chunk = Le32(head + 4);
    const int64_t body = at + 8;
    if (std::memcmp(head, "fmt ", 4) == 0) {
      if (chunk < 16 || body + 16 > size) return fail("is a WAV file with a damaged format chunk");
      std::memset(fmt, 0, sizeof fmt);
      if (!FullRead(fd, fmt, std::min<size_t>(chunk, sizeof fmt), body)) return fail("cannot be read");
      fmt_size = chunk;
      have_fmt = true;
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (!have_fmt) return fail("is a WAV file without a format chunk before its data");
      unsigned tag = Le16(fmt);
      const unsigned channels = Le16(fmt + 2), rate = Le32(fmt + 4), bits = Le16(fmt + 14);
      // WAVE_FORMAT_EXTENSIBLE: the format is the sub-format GUID's first
      // two bytes when the rest is the common tail of the WAVE_FORMAT GUIDs
      // (a GUID with another tail, such as ambisonic PCM, stays 0xFFFE).
      if (tag == 0xFFFE) {
        if (fmt_size < sizeof fmt) return fail("is a WAV file with a damaged format chunk");
        if (std::memcmp(fmt + 26, kWaveGuidTail, sizeof kWaveGuidTail) == 0) tag = Le16(fmt + 24);
      }
      if (tag != 1) {
        char code[8];
        std::snprintf(code, sizeof code, "%u", tag);
        return fail("is a WAV file of " + std::string(tag == 3 ? "floating-point samples" : "compressed audio") +
                    " (format " + code + "), not PCM");
      }
      if (bits != 16 || rate != kCdRate || channels != 2) return fail("is " + Describe(bits, rate, channels) + " WAV, " + kCdAudio);
      // A writer that never came back to fill in the size leaves 0 or ~0;
      // a cut-off file holds less than it says. Either way: what is there.
      int64_t bytes = chunk;
      if (chunk == 0 || chunk == 0xFFFFFFFFu || body + bytes > size) bytes = size - body;
      return std::make_unique<RawFile>(fd, body, bytes / 4 * 4, false);
    }
    at = body + chunk + (chunk & 1);
  }
  return fail(have_fmt ? "is a WAV file without a data chunk" : "is a WAV file without a format chunk");
}

}  // namespace tonvik::cdrom::image_io
