#include "disc_image.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tonvik::discimage {
namespace {

constexpr int kSectorBytes = 2352;
constexpr int kFrames = 588;  // stereo sample frames per sector
constexpr int32_t kSessionGap = 6750 + 4500 + 150;

int16_t Clamp(double v) { return int16_t(std::lround(std::fmax(-32768.0, std::fmin(32767.0, v)))); }

// One channel of the music-like signal at sample n.
double Music(int track_index, int channel, int64_t n) {
  const double t = double(n) / 44100.0;
  const double base = 110.0 * std::pow(2.0, double((track_index * 5 + 3) % 12) / 12.0);
  // A new note every half second, with a fast attack and an exponential decay.
  const double note_t = std::fmod(t, 0.5);
  const int note = int(t / 0.5);
  const double envelope = std::fmin(1.0, note_t / 0.01) * std::exp(-note_t * 4.0);
  const double f0 = base * (1.0 + 0.5 * ((note * 7 + track_index) % 4));
  double v = 0;
  const double detune = channel == 0 ? 1.0 : 1.003;
  for (int k = 1; k <= 5; ++k)
    v += std::sin(2 * M_PI * f0 * k * detune * (1.0 + 0.0007 * k) * t + channel * 0.7 * k) / k;
  // A little deterministic noise (xorshift on the sample position).
  uint64_t x = uint64_t(n) * 2 + uint64_t(channel) + uint64_t(track_index) * 0x9E3779B97F4A7C15ull + 1;
  x ^= x << 13;
  x ^= x >> 7;
  x ^= x << 17;
  const double noise = double(int64_t(x % 2001) - 1000) / 1000.0;
  return 9000.0 * envelope * v + 300.0 * noise;
}

void PutSample(uint8_t* p, int16_t v) {
  p[0] = uint8_t(uint16_t(v));
  p[1] = uint8_t(uint16_t(v) >> 8);
}

uint8_t Bcd(int v) { return uint8_t((v / 10) << 4 | (v % 10)); }

std::string Msf(int32_t frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", frames / 4500, frames / 75 % 60, frames % 75);
  return text;
}

}  // namespace

void FillSector(const ImageTrack& track, int track_index, int32_t sector, int32_t lba, uint8_t* out) {
  if (track.kind != ImageTrack::Audio) {
    std::memset(out, 0, kSectorBytes);
    std::memset(out + 1, 0xFF, 10);  // sync: 00 FF x10 00
    const int32_t address = lba + 150;
    out[12] = Bcd(address / 4500);
    out[13] = Bcd(address / 75 % 60);
    out[14] = Bcd(address % 75);
    out[15] = track.kind == ImageTrack::Mode1 ? 1 : 2;
    const int user = track.kind == ImageTrack::Mode1 ? 2048 : 2336;
    for (int i = 0; i < user; ++i) out[16 + i] = uint8_t((sector * 31 + i * 7 + track_index) & 0xFF);
    return;
  }
  for (int f = 0; f < kFrames; ++f) {
    const int64_t n = int64_t(sector) * kFrames + f;
    int16_t left = 0, right = 0;
    if (track.signal == ImageTrack::Music) {
      left = Clamp(Music(track_index, 0, n));
      right = Clamp(Music(track_index, 1, n));
    } else if (track.signal == ImageTrack::FullScale) {
      left = (n / 50) % 2 ? int16_t(-32768) : int16_t(32767);
      right = (n / 50) % 2 ? int16_t(32767) : int16_t(-32768);
    }
    PutSample(out + f * 4, left);
    PutSample(out + f * 4 + 2, right);
  }
}

bool WriteDiscImage(const std::string& cue_path, const std::vector<ImageTrack>& tracks,
                    bool one_bin_per_track, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  if (tracks.empty() || tracks.size() > 99) return fail("a disc has 1 to 99 tracks");
  const std::filesystem::path cue(cue_path);
  const std::string stem = cue.stem().string();
  std::string sheet;
  std::ofstream bin;
  int32_t lba = 0, file_offset = 0;
  for (size_t i = 0; i < tracks.size(); ++i) {
    const ImageTrack& t = tracks[i];
    if (t.sectors < 1) return fail("track " + std::to_string(i + 1) + " has no sectors");
    if (t.session < 1 || t.session > 2 || (i > 0 && t.session < tracks[i - 1].session))
      return fail("sessions must be 1 then 2");
    const bool new_session = i > 0 && t.session != tracks[i - 1].session;
    if (new_session) {
      sheet += "REM SESSION 02\n";
      lba += kSessionGap;
    }
    if (i == 0 || one_bin_per_track) {
      char name[300];
      if (one_bin_per_track)
        std::snprintf(name, sizeof name, "%s-%02zu.bin", stem.c_str(), i + 1);
      else
        std::snprintf(name, sizeof name, "%s.bin", stem.c_str());
      if (bin.is_open()) bin.close();
      bin.open(cue.parent_path() / name, std::ios::binary | std::ios::trunc);
      if (!bin) return fail(std::string("cannot write ") + name + ": " + std::strerror(errno));
      sheet += std::string("FILE \"") + name + "\" BINARY\n";
      file_offset = 0;
    }
    char line[64];
    std::snprintf(line, sizeof line, "  TRACK %02zu %s\n", i + 1,
                  t.kind == ImageTrack::Audio ? "AUDIO" : t.kind == ImageTrack::Mode1 ? "MODE1/2352" : "MODE2/2352");
    sheet += line;
    sheet += "    INDEX 01 " + Msf(file_offset) + "\n";
    uint8_t sector[kSectorBytes];
    for (int32_t s = 0; s < t.sectors; ++s) {
      FillSector(t, int(i), s, lba + s, sector);
      bin.write(reinterpret_cast<const char*>(sector), kSectorBytes);
    }
    if (!bin) return fail("write failed: " + std::string(std::strerror(errno)));
    lba += t.sectors;
    file_offset += t.sectors;
  }
  bin.close();
  if (!bin) return fail("write failed: " + std::string(std::strerror(errno)));
  std::ofstream out(cue, std::ios::binary | std::ios::trunc);
  out << sheet;
  out.close();
  if (!out) return fail("cannot write " + cue_path);
  return true;
}

bool Preset(const std::string& name, std::vector<ImageTrack>* tracks) {
  using T = ImageTrack;
  constexpr int32_t s = 75;  // sectors per second
  tracks->clear();
  if (name == "demo") {
    for (int seconds : {25, 32, 20, 40, 28}) tracks->push_back({T::Audio, seconds * s, T::Music});
  } else if (name == "clean10") {
    tracks->push_back({T::Audio, 600 * s, T::Music});
  } else if (name == "disc10x1") {
    for (int i = 0; i < 10; ++i) tracks->push_back({T::Audio, 60 * s, T::Music});
  } else if (name == "mixed") {
    *tracks = {{T::Mode1, 10 * s, T::Silence}, {T::Audio, 20 * s, T::Music},
               {T::Audio, 5 * s, T::Silence}, {T::Audio, 10 * s, T::FullScale}};
  } else if (name == "enhanced") {
    *tracks = {{T::Audio, 20 * s, T::Music}, {T::Audio, 15 * s, T::Music},
               {T::Audio, 10 * s, T::Music}, {T::Mode2, 10 * s, T::Silence, 2}};
  } else if (name == "data") {
    tracks->push_back({T::Mode1, 30 * s, T::Silence});
  } else if (name == "tiny") {
    *tracks = {{T::Audio, 2 * s, T::Music}, {T::Audio, 1, T::Music}, {T::Audio, s, T::FullScale}};
  } else if (name == "t99") {
    for (int i = 0; i < 99; ++i) tracks->push_back({T::Audio, 2 * s, i % 10 == 9 ? T::Silence : T::Music});
  } else {
    return false;
  }
  return true;
}

}  // namespace tonvik::discimage
