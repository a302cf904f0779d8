// The three numbers an AccurateRip record is filed under, and its address.
#pragma once
#include <cstdint>
#include <string>

#include "accuraterip/disc_toc.h"

namespace tonvik::accuraterip {

inline constexpr char kDatabaseHost[] = "http://www.accuraterip.com";

struct DiscIds {
  int audio_tracks = 0;  // the record's track count
  uint32_t id1 = 0;
  uint32_t id2 = 0;
  uint32_t freedb = 0;
  bool operator==(const DiscIds&) const = default;
};

// ID 1 and ID 2 sum the audio tracks alone, numbered 1..n among themselves
// (a data track neither counts nor takes a number), with the disc's final
// lead-out; a track at sector 0 counts as 1 in ID 2. The FreeDB ID takes
// every track, data included, in seconds of the absolute address.
DiscIds ComputeDiscIds(const DiscToc& toc);

// "dBAR-nnn-xxxxxxxx-xxxxxxxx-xxxxxxxx.bin".
std::string RecordName(const DiscIds& ids);
// "<d0>/<d1>/<d2>/<name>": the last three hex digits of ID 1, last first.
std::string RecordPath(const DiscIds& ids);
// host + "/accuraterip/" + the path.
std::string RecordUrl(const DiscIds& ids, const std::string& host = kDatabaseHost);

}  // namespace tonvik::accuraterip
