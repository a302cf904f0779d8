// A disc's table of contents as the AccurateRip sums and the record's
// layout need it: every track (audio and data) with its INDEX 01 address and
// the disc's final lead-out, and the audio tracks derived from it.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

namespace tonvik::accuraterip {

struct TocTrack {
  int number = 0;      // the TOC's track number
  int32_t start = 0;   // INDEX 01, in sectors from LSN 0
  bool data = false;   // the data bit of the control nibble
};

struct DiscToc {
  std::vector<TocTrack> tracks;  // in disc order
  int32_t lead_out = 0;          // the last session's lead-out (after an enhanced CD's data track)
};

// From a READ TOC format 0 (LBA) answer as the disc check keeps it; nullopt
// when it holds no track or no lead-out.
std::optional<DiscToc> DiscTocFromReadToc(const std::vector<uint8_t>& toc);

// One audio track as it is ripped and checked.
struct AudioTrack {
  int index = 0;        // 1-based among the audio tracks: the multiplier of ID 2
  int toc_number = 0;   // the TOC's track number
  int32_t start = 0;    // INDEX 01; audio hidden before track 1's INDEX 01 is in no track
  int32_t sectors = 0;  // up to the next track's INDEX 01, or to the end of the audio
  bool first = false;   // the first audio track of the disc: its first five sectors are skipped
  bool last = false;    // the last: its last five sectors are skipped
  int record_slot = 0;  // 0-based entry of the track in each pressing of the record
};

// The audio tracks in disc order. The record lists its entries by TOC
// position, data tracks included, so on a disc that opens with a data track
// every audio track sits one slot further on (and the last one has none:
// record_slot equals the record's track count). On an enhanced CD the last
// audio track ends where its session ends, the session gap before the data
// track.
std::vector<AudioTrack> AudioTracks(const DiscToc& toc);

}  // namespace tonvik::accuraterip
