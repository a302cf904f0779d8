#include "ctdb/verdict.h"

#include <cstdio>

namespace tonvik::ctdb {

namespace {

// 0, +1, -1, +2, -2, ... up to +-limit: the first shift where `equal` holds.
template <typename Equal>
std::optional<int> NearestShift(int limit, Equal equal) {
  if (equal(0)) return 0;
  for (int distance = 1; distance <= limit; ++distance) {
    if (equal(distance)) return distance;
    if (equal(-distance)) return -distance;
  }
  return std::nullopt;
}

void Confirm(TrackVerdict& track, int confidence, int shift, int& best) {
  track.confidence += confidence;
  if (!track.shift || confidence > best) {
    track.shift = shift;
    best = confidence;
  }
}

std::string Counted(const char* status, int confidence, int total, std::optional<int> shift) {
  std::string line = std::string(status) + " (" + std::to_string(confidence) + "/" + std::to_string(total) + ")";
  if (confidence > 0 && shift && *shift != 0)
    line += ", another pressing, shift " + std::string(*shift > 0 ? "+" : "") + std::to_string(*shift) + " samples";
  return line;
}

}  // namespace

DiscVerdict Verify(const accuraterip::DiscToc& toc, const Answer& answer, const DiscCrc& crcs) {
  DiscVerdict verdict;
  verdict.status = answer.status;
  verdict.toc_id = TocId(toc);
  verdict.complete = crcs.complete();
  verdict.crc = crcs.Disc(0);
  verdict.tracks.resize(size_t(crcs.tracks()));
  if (answer.status != LookupStatus::Found) return verdict;
  for (const Entry& entry : answer.entries) verdict.total += entry.confidence;
  if (!verdict.complete) return verdict;

  const std::string ours = TocString(toc);
  const AudioLayout layout = LayoutOf(toc);
  // Every disc CRC once; the entries are compared with the list.
  std::vector<uint32_t> disc(verdict.crc ? size_t(2 * kMaxShift + 1) : 0);
  for (size_t i = 0; i < disc.size(); ++i) disc[i] = *crcs.Disc(int(i) - kMaxShift);

  int best_disc = 0;
  std::vector<int> best_track(verdict.tracks.size(), 0);
  for (const Entry& entry : answer.entries) {
    if (entry.stride != int(kStride)) continue;
    const AudioLayout theirs = LayoutOf(entry.disc);
    std::optional<int> shift;
    if (theirs.samples == layout.samples && !disc.empty())
      shift = NearestShift(kMaxShift, [&](int o) { return disc[size_t(o + kMaxShift)] == entry.crc; });
    if (shift) {
      if (entry.toc == ours) {
        verdict.confidence += entry.confidence;
        if (!verdict.shift || entry.confidence > best_disc) {
          verdict.shift = shift;
          verdict.matched_crc = entry.crc;
          best_disc = entry.confidence;
        }
      }
      for (size_t t = 0; t < verdict.tracks.size(); ++t)
        Confirm(verdict.tracks[t], entry.confidence, *shift, best_track[t]);
      continue;
    }
    if (!entry.track_crcs || theirs.audio_tracks() != layout.audio_tracks()) continue;
    for (size_t t = 0; t < verdict.tracks.size(); ++t) {
      const uint32_t wanted = (*entry.track_crcs)[t];
      const std::optional<int> at =
          NearestShift(kTrackShift, [&](int o) { return crcs.Track(int(t), o) == wanted; });
      if (at) Confirm(verdict.tracks[t], entry.confidence, *at, best_track[t]);
    }
  }
  return verdict;
}

std::vector<std::string> DiscLines(const DiscVerdict& verdict) {
  if (verdict.status == LookupStatus::Skipped) return {};
  std::vector<std::string> lines{"CTDB TOCID: " + verdict.toc_id};
  switch (verdict.status) {
    case LookupStatus::Found:
      break;
    case LookupStatus::NotPresent:
      lines.push_back("CTDB: not present");
      return lines;
    default:
      lines.push_back("CTDB: could not be reached");
      return lines;
  }
  if (!verdict.complete) {
    lines.push_back("CTDB: not verified, the rip does not hold the whole disc");
    return lines;
  }
  char crc[16] = "none";
  if (verdict.crc) std::snprintf(crc, sizeof crc, "%08x", unsigned(*verdict.crc));
  lines.push_back(std::string("CTDB disc CRC: ") + crc);
  lines.push_back("CTDB disc: " + Counted(verdict.confidence > 0 ? "Accurately ripped" : "No match",
                                          verdict.confidence, verdict.total, verdict.shift));
  return lines;
}

std::optional<std::string> TrackLine(const DiscVerdict& verdict, int track) {
  if (verdict.status != LookupStatus::Found || !verdict.complete || track < 0 ||
      size_t(track) >= verdict.tracks.size())
    return std::nullopt;
  const TrackVerdict& t = verdict.tracks[size_t(track)];
  return "CTDB: " + Counted(t.confidence > 0 ? "Accurately ripped" : "No match", t.confidence, verdict.total, t.shift);
}

}  // namespace tonvik::ctdb
