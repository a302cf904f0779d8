// The disc record: filled by the disc lookup before the rip job starts, only
// read while ripping. All strings hold UTF-8 text; an empty field counts as
// absent.
#pragma once
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

}  // namespace tonvik
