// The CUE sheet written beside a rip of a whole disc: one FILE per track, as
// the tracks are cut at INDEX 01, with each pregap (INDEX 00) at the end of
// the file before ("gaps appended to the previous track"). With it the disc
// can be written again as it was, codes, pregaps and CD-Text included, and
// read back by any program that reads such sheets (our disc-image drive
// among them).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tonvik::riplog {

struct CueTrack {
  int number = 0;
  std::string file;             // the track's file name, in the sheet's folder (UTF-8)
  int32_t sectors = 0;          // the file's length: INDEX 01 to the next track's INDEX 01
  std::string title, performer; // CD-Text; empty: no line
  std::string isrc;             // empty: no line
  // Sectors of INDEX 00 before INDEX 01: for the first track silence the
  // sheet declares (PREGAP, the files hold no audio before INDEX 01 of
  // track 1), for the others the end of the file before.
  int32_t pregap = 0;
};

struct CueSheet {
  std::string catalog;           // the MCN; empty: no line
  std::string title, performer;  // the album's CD-Text
  std::vector<CueTrack> tracks;  // in disc order
  // The file of the hidden track before track 1 (rip/hidden_track.h); empty:
  // none. It holds track 1's pregap whole: track 1's INDEX 00 is its start,
  // and track 1's file opens with INDEX 01, as the first track's PREGAP
  // silence would otherwise say.
  std::string hidden_file;
};

// The sheet's text: UTF-8 without a byte-order mark, LF line ends. A double
// quote inside a title, name or file name becomes a single quote (a sheet
// cannot hold it); line breaks become spaces.
std::string RenderCueSheet(const CueSheet& sheet);

// "mm:ss:ff" of a count of sectors (75 a second).
std::string CueTime(int64_t sectors);

}  // namespace tonvik::riplog
