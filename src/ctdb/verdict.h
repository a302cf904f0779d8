// Whether a rip matches what the database holds for its disc, counted the way
// CUETools counts it, and the lines the rip log prints for it.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "accuraterip/disc_toc.h"
#include "ctdb/answer.h"
#include "ctdb/disc_crc.h"

namespace tonvik::ctdb {

// An entry whose disc CRC is at no shift compares each track's CRC alone
// within +-(5 * 588 - 1) samples, as CUETools does.
inline constexpr int kTrackShift = 5 * kSamplesPerSector - 1;

struct TrackVerdict {
  int confidence = 0;        // the entries that confirm the track; > 0 is accurately ripped
  std::optional<int> shift;  // where the most confident of them matched
};

struct DiscVerdict {
  LookupStatus status = LookupStatus::Unreachable;
  std::string toc_id;
  bool complete = false;       // every sample of the audio was fed
  std::optional<uint32_t> crc;  // ours at shift 0; none when incomplete or shorter than 3 * 5880 samples
  int total = 0;               // the confidence of every entry in the answer
  int confidence = 0;          // entries with our exact TOC whose disc CRC matches
  std::optional<int> shift;    // where the most confident of those matched
  std::optional<uint32_t> matched_crc;  // its crc32 (ours at that shift)
  std::vector<TrackVerdict> tracks;     // one per audio track
};

// For every entry with our audio length (E - A) and stride 5880, the disc
// CRC is looked for at shift 0, then +1, -1, +2, ... up to +-5879; the first
// equal one is the entry's shift (a shift other than 0: another pressing,
// the sign as in disc_crc.h). Such an entry confirms the disc when its TOC
// string equals ours, and confirms every track whatever its TOC. An entry that
// does not match, but has stride 5880 and as many audio tracks as ours with
// their CRCs, confirms each track whose CRC it holds at some shift within
// +-kTrackShift. Entries with another stride only count in the total.
DiscVerdict Verify(const accuraterip::DiscToc& toc, const Answer& answer, const DiscCrc& crcs);

// The disc's lines for the rip log:
//   "CTDB TOCID: <TOCID>" and then either
//   "CTDB disc CRC: <8 hex digits>" with
//     "CTDB disc: Accurately ripped (c/T)" (", another pressing, shift +N samples" when not at 0)
//     or "CTDB disc: No match (0/T)",
//   or one of "CTDB: not present", "CTDB: could not be reached",
//   "CTDB: not verified, the rip does not hold the whole disc".
// Nothing when no request was allowed (Skipped).
std::vector<std::string> DiscLines(const DiscVerdict& verdict);

// Track t's (0-based) line, once an answer with entries was compared:
// "CTDB: Accurately ripped (c/T)" (with the same pressing note) or
// "CTDB: No match (0/T)"; nullopt otherwise (the disc's lines say why).
std::optional<std::string> TrackLine(const DiscVerdict& verdict, int track);

}  // namespace tonvik::ctdb
