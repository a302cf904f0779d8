// The disc as the CUETools database (CTDB) files it: the TOC string every
// lookup names, the TOCID the logs print, the lookup address, and where the
// audio lies in samples for the CRC windows.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accuraterip/disc_toc.h"

namespace tonvik::ctdb {

inline constexpr char kDatabaseHost[] = "http://db.cuetools.net";
inline constexpr int kSamplesPerSector = 588;

// Every track's INDEX 01 in TOC order, "-" before a data track, then the
// disc's final lead-out, joined by ':' ("0:11413:25024:45713:55220"). The
// addresses are LSNs (LBA - 150): a plain disc starts at 0.
std::string TocString(const accuraterip::DiscToc& toc);

// The reverse: nullopt for anything but 1 to 99 tracks and a lead-out after
// the last of them, in ascending order, decimal, at most one '-' each.
std::optional<accuraterip::DiscToc> ParseTocString(std::string_view text);

// The audio the database sums: from the first audio track's INDEX 01 to the
// end of the audio (the lead-out, or on an enhanced CD the first session's
// end, 11400 sectors before the data track).
struct AudioLayout {
  int32_t first_sector = 0;            // A, the first audio track's INDEX 01
  int32_t end_sector = 0;              // E, exclusive
  std::vector<uint64_t> track_starts;  // b_t in samples from A, one per audio track (b_1 = 0)
  uint64_t samples = 0;                // N = (E - A) * 588
  int audio_tracks() const { return int(track_starts.size()); }
};
AudioLayout LayoutOf(const accuraterip::DiscToc& toc);

// The audio tracks 2..n and the audio end relative to A as 8 upper-case hex
// digits each, padded with '0' to 800 characters, SHA-1, base64 with
// "+", "/", "=" written ".", "_", "-" ("VukMWWItblELRM.CEFpXxw0FlME-"). Empty when the
// disc has no audio track.
std::string TocId(const accuraterip::DiscToc& toc);

// host + "/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=" + the TOC
// string: every entry whose audio is laid out as this disc's, without
// metadata from other services.
std::string LookupUrl(const accuraterip::DiscToc& toc, std::string_view host = kDatabaseHost);

}  // namespace tonvik::ctdb
