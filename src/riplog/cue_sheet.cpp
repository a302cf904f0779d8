#include "riplog/cue_sheet.h"

#include <cstdio>

namespace tonvik::riplog {
namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"')
      out += '\'';
    else if (c == '\n' || c == '\r' || c == '\t')
      out += ' ';
    else
      out += c;
  }
  return out + "\"";
}

std::string TwoDigits(int n) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

}  // namespace

std::string CueTime(int64_t sectors) {
  if (sectors < 0) sectors = 0;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(sectors / 4500),
                static_cast<long long>(sectors / 75 % 60), static_cast<long long>(sectors % 75));
  return buf;
}

std::string RenderCueSheet(const CueSheet& sheet) {
  std::string out;
  auto line = [&](const std::string& text) { out += text + "\n"; };
  if (!sheet.catalog.empty()) line("CATALOG " + sheet.catalog);
  if (!sheet.performer.empty()) line("PERFORMER " + Quoted(sheet.performer));
  if (!sheet.title.empty()) line("TITLE " + Quoted(sheet.title));
  for (size_t i = 0; i < sheet.tracks.size(); ++i) {
    const CueTrack& t = sheet.tracks[i];
    // The first track, and a track without a pregap, opens its own file; a
    // track with a pregap is declared at the end of the file before, where
    // its INDEX 00 lies, and its file begins with INDEX 01. The first
    // track's file before is the hidden track's, which is its pregap whole.
    const bool hidden_before = i == 0 && !sheet.hidden_file.empty();
    const bool gap_in_file_before = (i > 0 && t.pregap > 0) || hidden_before;
    if (hidden_before)
      line("FILE " + Quoted(sheet.hidden_file) + " WAVE");
    else if (!gap_in_file_before)
      line("FILE " + Quoted(t.file) + " WAVE");
    line("  TRACK " + TwoDigits(t.number) + " AUDIO");
    if (!t.title.empty()) line("    TITLE " + Quoted(t.title));
    if (!t.performer.empty()) line("    PERFORMER " + Quoted(t.performer));
    if (!t.isrc.empty()) line("    ISRC " + t.isrc);
    if (i == 0 && t.pregap > 0 && !hidden_before) line("    PREGAP " + CueTime(t.pregap));
    if (gap_in_file_before) {
      line("    INDEX 00 " + CueTime(hidden_before ? 0 : sheet.tracks[i - 1].sectors - t.pregap));
      line("FILE " + Quoted(t.file) + " WAVE");
    }
    line("    INDEX 01 00:00:00");
  }
  return out;
}

}  // namespace tonvik::riplog
