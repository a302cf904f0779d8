// The disc record: filled by the disc lookup before the rip job starts, only
// read while ripping. All strings hold UTF-8 text; an empty field counts as
// absent.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tonvik {

struct DiscMetadata {
  std::string artist, album, year, genre, comment;
  std::vector<std::string> titles;  // entry i is track i + 1
  std::string release_id;
  // What the disc itself carries (the disc check read it; the rip job adds
  // it to the record its tags are made from): the catalogue number (MCN)
  // and one ISRC per track, entry i is track i + 1. Empty: none.
  std::string catalog{};
  std::vector<std::string> isrcs{};
};

// The hidden track before track 1 (rip/hidden_track.h) has no entry of its
// own. Its index is the one before the first (track 0 - 1 as an unsigned
// index), so that index + 1, the track number names and tags show, is 0
// again; its title is kHiddenTrackTitle, a name for the file and the players
// where no record gives one (a template's "%6 - %2" would otherwise end in a
// bare separator).
inline constexpr uint32_t kHiddenTrackIndex = UINT32_MAX;
inline constexpr char kHiddenTrackTitle[] = "Hidden track";

// The title of the track at `index`: the record's, the hidden track's, or
// empty for an index beyond the list.
inline const std::string& TrackTitle(const DiscMetadata& disc, uint32_t index) {
  static const std::string kNone, kHidden = kHiddenTrackTitle;
  if (index < disc.titles.size()) return disc.titles[index];
  return index == kHiddenTrackIndex ? kHidden : kNone;
}

}  // namespace tonvik
