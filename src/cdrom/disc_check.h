// The start-up disc check: identifies the drive named by the start-up paths,
// refuses discs that cannot be ripped, keeps the TOC as the drive returned it
// and decides which tracks are ripped.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cdrom/disc_extras.h"

namespace tonvik::cdrom {

class CdDrive;

// What the disc check found: the disc of one rip.
struct DiscState {
  std::vector<uint8_t> toc;     // READ TOC format 0 (LBA) response, byte for byte
  char16_t drive_letter = 0;
  std::vector<int32_t> selection;  // track numbers in ripping order
  // What the disc carries besides its audio (MCN, ISRC, pregaps, CD-Text),
  // read right after the TOC. nullopt when nothing was read (a DiscState
  // made without the check); a drive that refused every command gives a
  // DiscExtras with nothing found, never an error.
  std::optional<DiscExtras> extras;
};

// Raises AppException with the user's message when the disc cannot be ripped.
// The drive is closed again on every path.
DiscState CheckDisc(const std::vector<std::u16string>& paths);

// The checks of the medium in an open drive (profile, disc status, TOC);
// returns the TOC. Raises AppException like CheckDisc.
std::vector<uint8_t> CheckMedium(CdDrive& drive);

// Opens the drive and checks it is a CD/DVD device; raises AppException
// ("Cannot access CD drive: %1%.", "Internal error #151. ...") otherwise.
void OpenAndIdentify(CdDrive& drive, char16_t letter);

// True for a READ TOC format 0 answer that can be trusted: the length field
// matches what came back, whole descriptors (a lead-out alone is allowed:
// it is refused later as not audio), tracks 1-99 in ascending order
// without repeats, the lead-out present and last, addresses increasing and
// within a CD. The disc check refuses any other as unreadable.
bool IsSoundToc(const std::vector<uint8_t>& toc);

struct TrackExtent {
  int32_t first_sector;
  int32_t sector_count;
};
// Sectors between the first session's lead-out and the start of the second
// session's first track: lead-out 6750, lead-in 4500, pregap 150.
inline constexpr int32_t kSessionGap = 11400;

// An enhanced CD: audio tracks in the first session and a data track that
// opens the second. The last audio track and the first session's lead-out
// (LBA); nullopt for any other layout, mixed-mode discs (data track first)
// among them.
struct AudioSession {
  int last_track;
  int32_t lead_out;
};
std::optional<AudioSession> EnhancedAudioSession(const std::vector<uint8_t>& toc);

// Track number → extent up to the next TOC entry; the walk stops at the
// lead-out or at the end of the buffer. On an enhanced CD (audio tracks, then
// a data track in a second session) the last audio track ends at the first
// session's lead-out, kSessionGap sectors before the data track.
std::map<int32_t, TrackExtent> BuildTrackMap(const std::vector<uint8_t>& toc);

}  // namespace tonvik::cdrom
