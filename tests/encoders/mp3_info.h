// Reads the first MPEG frame of an MP3 file (after any ID3v2 tag) and the
// Xing/Info and LAME fields of it, when present.
#pragma once
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace tonvik::test {

struct Mp3Info {
  size_t frame_offset = 0;
  int bitrate_kbps = 0;         // of the first frame
  std::string tag;              // "Xing", "Info" or empty
  int xing_quality = -1;
  int lame_method = -1;         // 1 CBR, 2 ABR, 3-5 VBR
  int lame_abr_kbps = -1;       // ABR target, or the VBR minimum
  int lame_preset = -1;         // the 11-bit preset field
};

inline Mp3Info ReadMp3Info(const std::vector<uint8_t>& f) {
  static const int kRates[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  Mp3Info info;
  size_t at = 0;
  if (f.size() > 10 && std::memcmp(f.data(), "ID3", 3) == 0) {
    at = 10 + (f[6] << 21 | f[7] << 14 | f[8] << 7 | f[9]);
  }
  while (at + 4 < f.size() && !(f[at] == 0xFF && (f[at + 1] & 0xE0) == 0xE0)) ++at;
  if (at + 200 > f.size()) return info;
  info.frame_offset = at;
  info.bitrate_kbps = kRates[f[at + 2] >> 4];
  const bool mono = (f[at + 3] >> 6) == 3;
  size_t x = at + 4 + (mono ? 17 : 32);
  const std::string id(f.begin() + static_cast<long>(x), f.begin() + static_cast<long>(x + 4));
  if (id != "Xing" && id != "Info") return info;
  info.tag = id;
  const uint32_t flags = f[x + 7];
  x += 8;
  if (flags & 1) x += 4;
  if (flags & 2) x += 4;
  if (flags & 4) x += 100;
  if (flags & 8) {
    info.xing_quality = f[x] << 24 | f[x + 1] << 16 | f[x + 2] << 8 | f[x + 3];
    x += 4;
  }
  if (std::memcmp(&f[x], "LAME", 4) != 0) return info;
  info.lame_method = f[x + 9] & 0x0F;
  info.lame_abr_kbps = f[x + 20];
  info.lame_preset = (f[x + 30] << 8 | f[x + 31]) & 0x7FF;
  return info;
}

}  // namespace tonvik::test
