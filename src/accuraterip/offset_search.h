// Finding a drive's read offset from a disc the AccurateRip record knows.
//
// Every track entry of a record carries the sum of the track's sector 450 as
// the submitting (offset-corrected) rips read it. Read a drive's uncorrected
// audio around that sector, slide the one-sector window over every shift in
// five sectors either way, and the shift whose sum equals the record's is
// the drive's offset, in AccurateRip's sign: the corrected sample at
// position p is the drive's sample at p + offset. One track can match by
// chance (a quiet or repeating passage); an offset counts once a second
// track agrees.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>

#include "accuraterip/disc_toc.h"
#include "accuraterip/record.h"

namespace tonvik::accuraterip {

// How far the search goes either way, in sectors, and the sectors read
// per track: sector 450 with that many on either side.
inline constexpr int kOffsetSearchSectors = 5;
inline constexpr int kOffsetWindowSectors = 2 * kOffsetSearchSectors + 1;
inline constexpr int32_t kMaxSearchedOffset = kOffsetSearchSectors * 588;

// The first of the kOffsetWindowSectors sectors to read for the track, as
// the drive is asked for them (uncorrected); none for a track too short to
// hold the window.
std::optional<int32_t> OffsetWindowStart(const AudioTrack& track);

// The sector-450 sum of the corrected audio for every shift from
// -kMaxSearchedOffset to +kMaxSearchedOffset (index shift + kMaxSearchedOffset),
// from the window's bytes (kOffsetWindowSectors * 2352, as read).
std::vector<uint32_t> ShiftedSector450Sums(const uint8_t* window);

class OffsetSearch {
 public:
  explicit OffsetSearch(const RecordLookup& record) : record_(record) {}

  // The window of the track in the record's slot, as the drive read it.
  void AddTrack(int record_slot, const uint8_t* window);
  // Whether a track in this slot can take part: some pressing has a
  // non-zero sector-450 sum for it.
  bool Knows(int record_slot) const;
  // The offset that matched on the most tracks, at least two; among those,
  // the one whose matching pressings are the most confident. None while no
  // offset has two tracks, or when two offsets tie.
  std::optional<int32_t> Offset() const;
  int tracks_added() const { return tracks_added_; }

 private:
  struct Votes {
    std::set<int> slots;
    int confidence = 0;
  };
  const RecordLookup& record_;
  std::map<int32_t, Votes> votes_;
  int tracks_added_ = 0;
};

}  // namespace tonvik::accuraterip
