#include "accuraterip/verdict.h"

#include <algorithm>

namespace tonvik::accuraterip {

TrackVerdict VerifyTrack(const RecordLookup& record, int record_slot, uint32_t v1, uint32_t v2) {
  TrackVerdict result;
  switch (record.status) {
    case LookupStatus::Found:
      break;
    case LookupStatus::NotPresent:
      result.verdict = Verdict::NotPresent;
      return result;
    default:
      return result;  // Unreachable
  }
  bool any_data = false;
  for (const Pressing& pressing : record.pressings) {
    if (record_slot < 0 || size_t(record_slot) >= pressing.tracks.size()) continue;
    const TrackEntry& entry = pressing.tracks[size_t(record_slot)];
    if (!entry.HasData()) continue;
    any_data = true;
    result.best_confidence = std::max<int>(result.best_confidence, entry.confidence);
    const MatchedSum sum = entry.crc == v2 ? MatchedSum::V2 : entry.crc == v1 ? MatchedSum::V1 : MatchedSum::None;
    if (sum != MatchedSum::None && entry.confidence > result.confidence) {
      result.confidence = entry.confidence;
      result.sum = sum;
    }
  }
  result.verdict = result.sum != MatchedSum::None ? Verdict::Accurate
                   : any_data                     ? Verdict::NotAccurate
                                                  : Verdict::NotPresent;
  return result;
}

bool RecordKnowsTrack(const RecordLookup& record, int record_slot) {
  if (record.status != LookupStatus::Found || record_slot < 0) return false;
  return std::any_of(record.pressings.begin(), record.pressings.end(), [&](const Pressing& p) {
    return size_t(record_slot) < p.tracks.size() && p.tracks[size_t(record_slot)].HasData();
  });
}

}  // namespace tonvik::accuraterip
