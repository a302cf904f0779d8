#include "accuraterip/disc_toc.h"

#include "cdrom/disc_check.h"

namespace tonvik::accuraterip {

std::optional<DiscToc> DiscTocFromReadToc(const std::vector<uint8_t>& toc) {
  DiscToc disc;
  bool lead_out = false;
  for (size_t at = 4; at + 8 <= toc.size(); at += 8) {
    const int32_t address = int32_t(uint32_t(toc[at + 4]) << 24 | uint32_t(toc[at + 5]) << 16 |
                                    uint32_t(toc[at + 6]) << 8 | uint32_t(toc[at + 7]));
    if (toc[at + 2] == 0xAA) {
      disc.lead_out = address;
      lead_out = true;
      break;
    }
    disc.tracks.push_back({toc[at + 2], address, (toc[at + 1] & 0x04) != 0});
  }
  if (disc.tracks.empty() || !lead_out) return std::nullopt;
  return disc;
}

std::vector<AudioTrack> AudioTracks(const DiscToc& toc) {
  std::vector<AudioTrack> audio;
  for (size_t at = 0; at < toc.tracks.size(); ++at) {
    const TocTrack& track = toc.tracks[at];
    if (track.data) continue;
    int32_t end = toc.lead_out;
    if (at + 1 < toc.tracks.size()) {
      const TocTrack& next = toc.tracks[at + 1];
      // A data track after the audio opens a second session: the audio ends
      // with the first session's lead-out, the session gap before it.
      const bool session_gap = next.data && next.start - cdrom::kSessionGap > track.start;
      end = session_gap ? next.start - cdrom::kSessionGap : next.start;
    }
    AudioTrack a;
    a.index = int(audio.size()) + 1;
    a.toc_number = track.number;
    a.start = track.start;
    a.sectors = end > track.start ? end - track.start : 0;
    a.record_slot = int(at);
    audio.push_back(a);
  }
  if (!audio.empty()) {
    audio.front().first = true;
    audio.back().last = true;
  }
  return audio;
}

}  // namespace tonvik::accuraterip
