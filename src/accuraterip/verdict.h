// Whether a ripped track matches the AccurateRip record of its disc.
#pragma once
#include <cstdint>

#include "accuraterip/record.h"

namespace tonvik::accuraterip {

enum class Verdict {
  Accurate,     // v1 or v2 equals the track's sum in some pressing
  NotAccurate,  // the record has sums for the track and none is ours
  NotPresent,   // no record for the disc, or none of its pressings has data for the track
  Unreachable,  // no usable answer (no reply, an error, a rejected body, not asked, cancelled)
};

enum class MatchedSum { None, V1, V2 };

struct TrackVerdict {
  Verdict verdict = Verdict::Unreachable;
  int confidence = 0;       // of the matching pressing (the most confident, when several match)
  MatchedSum sum = MatchedSum::None;
  int best_confidence = 0;  // the highest confidence any pressing has for the track
};

// Compares the track's sums with its slot (AudioTrack::record_slot) in every
// pressing that has data for it, never only the most confident one. When v1
// and v2 match in the same pressing, v2 is reported.
TrackVerdict VerifyTrack(const RecordLookup& record, int record_slot, uint32_t v1, uint32_t v2);

// Whether some pressing of the record has sums for the slot: a rip of the
// track can be verified.
bool RecordKnowsTrack(const RecordLookup& record, int record_slot);

}  // namespace tonvik::accuraterip
