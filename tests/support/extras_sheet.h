// Test helper: adds what a disc carries besides its audio (catalogue number,
// ISRCs, pregaps, CD-Text) to a one-file sheet that discimage::WriteDiscImage
// wrote. A pregap is an INDEX 00 before the track's INDEX 01 in the same
// file: it takes the end of the track before, so the TOC (the INDEX 01s)
// and every sector stay as they were.
#pragma once
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tonvik::testing {

struct SheetTrackExtras {
  std::string isrc{}, title{}, performer{};
  int pregap = 0;  // sectors of INDEX 00 before INDEX 01 (not for track 1)
};

struct SheetExtras {
  std::string catalog, title, performer;
  std::vector<SheetTrackExtras> tracks;  // track 1, 2, ...; missing tracks get nothing
};

inline int SheetFrames(const std::string& msf) {
  int m = 0, s = 0, f = 0;
  std::sscanf(msf.c_str(), "%d:%d:%d", &m, &s, &f);
  return (m * 60 + s) * 75 + f;
}

inline std::string SheetMsf(int frames) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", frames / 4500, frames / 75 % 60, frames % 75);
  return buf;
}

// Rewrites the sheet in place; without extras it stays as it was.
inline void AddSheetExtras(const std::string& cue, const SheetExtras& extras) {
  if (extras.catalog.empty() && extras.title.empty() && extras.performer.empty() && extras.tracks.empty()) return;
  std::ifstream in(cue);
  std::string out;
  if (!extras.catalog.empty()) out += "CATALOG " + extras.catalog + "\n";
  if (!extras.performer.empty()) out += "PERFORMER \"" + extras.performer + "\"\n";
  if (!extras.title.empty()) out += "TITLE \"" + extras.title + "\"\n";
  int track = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string keyword, a, b;
    words >> keyword >> a >> b;
    const SheetTrackExtras* t =
        track >= 1 && size_t(track) <= extras.tracks.size() ? &extras.tracks[size_t(track - 1)] : nullptr;
    if (keyword == "INDEX" && a == "01" && t && t->pregap > 0)
      out += "    INDEX 00 " + SheetMsf(SheetFrames(b) - t->pregap) + "\n";
    out += line + "\n";
    if (keyword == "TRACK") {
      track = std::stoi(a);
      t = size_t(track) <= extras.tracks.size() ? &extras.tracks[size_t(track - 1)] : nullptr;
      if (t && !t->title.empty()) out += "    TITLE \"" + t->title + "\"\n";
      if (t && !t->performer.empty()) out += "    PERFORMER \"" + t->performer + "\"\n";
      if (t && !t->isrc.empty()) out += "    ISRC " + t->isrc + "\n";
    }
  }
  in.close();
  std::ofstream(cue, std::ios::trunc) << out;
}

}  // namespace tonvik::testing
