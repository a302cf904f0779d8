// An AccurateRip record: one chunk per pressing of the disc, each with an
// entry per track, and what a lookup of it came to.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "accuraterip/disc_ids.h"

namespace tonvik::accuraterip {

struct TrackEntry {
  uint8_t confidence = 0;  // how many submitted rips gave this sum
  uint32_t crc = 0;        // the track's v1 or v2 sum; which one is not recorded
  uint32_t crc450 = 0;     // the sum of sector 450 (0 in some chunks)
  // Confidence 0 or sum 0 is a slot without data (a data track, a very short track).
  bool HasData() const { return confidence != 0 && crc != 0; }
};

struct Pressing {
  std::vector<TrackEntry> tracks;  // one per record slot
};

enum class LookupStatus {
  Found,        // a record that belongs to the disc
  NotPresent,   // the database has no record for these IDs
  Unreachable,  // no answer within the bound, or an error status
  Rejected,     // an answer that is not a record of this disc
  Skipped,      // the user did not allow the request; none was made
  Cancelled,    // its owner stopped the fetch
};

struct RecordLookup {
  LookupStatus status = LookupStatus::Unreachable;
  std::vector<Pressing> pressings;  // with Found only
};

// Reads a body the database answered with status 200. Empty, or an HTML
// page (the content type is not application/octet-stream and "html" shows in
// the first 64 bytes), is NotPresent. Otherwise it must be whole chunks of
// 13 + 9 * n bytes, every chunk headed by the disc's track count and three
// IDs; anything else is Rejected as a whole.
RecordLookup ReadRecord(std::string_view body, std::string_view content_type, const DiscIds& ids);

}  // namespace tonvik::accuraterip
