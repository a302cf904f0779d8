// What a disc carries besides its audio: the catalogue number (MCN), each
// track's ISRC, where each track's pregap (index 00) begins, and CD-Text.
// Read from an open drive, a real one through SG_IO or the disc-image drive,
// with the same commands:
//
//   MCN, ISRC   READ SUB-CHANNEL formats 02h/03h. Where the drive refuses,
//               answers with zeros or another format, or sets the valid bit
//               over a code that is not one, the Q sub-channel of READ CD
//               (selection 010b) is scanned instead for a mode-2 (MCN) or
//               mode-3 (ISRC) frame whose CRC holds: at most
//               kCodeScanSectors sectors per track (a disc repeats its codes
//               at least once every 100 sectors). A well-formed answer with
//               the valid bit clear ("none") is checked by one scan of the
//               first audio track; when that finds a code the drive denied,
//               every "none" of the drive is checked by a scan of its track.
//   pregaps     the Q sub-channel's track and index near each track start:
//               the first sector of the track's index 00 is searched for
//               backwards from its INDEX 01 (steps doubling, then halving),
//               one sector per probe; a probe whose frame fails its CRC or
//               is not a position frame moves to a neighbouring sector. Only
//               audio tracks are searched.
//   CD-Text     READ TOC/PMA/ATIP format 5 (see cd_text.h).
//
// Nothing here raises: a drive that refuses a command, or answers it with
// something that cannot be read, gives "none" for what it would have told.
//
// The start-up check (CheckDisc) calls it with the drive open and the TOC in
// hand, right after CheckMedium, and keeps the result in DiscState::extras:
//
//     disc.extras = ReadDiscExtras(drive, disc.toc);
//
// on the same thread that uses the drive. Everything is optional: a caller
// that wants only CD-Text passes
// ExtrasRequest{.mcn = false, .isrc = false, .pregaps = false}. The cost is a
// few commands plus search_sectors + scan_sectors sectors of READ CD.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cdrom/cd_text.h"

namespace tonvik::cdrom {

class CdDrive;

inline constexpr int kCodeScanSectors = 200;

struct TrackExtras {
  int number = 0;
  int32_t start_lba = 0;      // INDEX 01, from the TOC
  bool audio = true;          // from the TOC's CONTROL bits
  std::string isrc;           // empty: none found
  // The pregap: pregap_known when the search came to an answer; then
  // index0_lba is its first sector (-1: the track has none) and
  // pregap_sectors = start_lba - index0_lba (0 without one).
  bool pregap_known = false;
  int32_t index0_lba = -1;
  int32_t pregap_sectors = 0;
};

struct DiscExtras {
  std::string mcn;            // 13 digits; empty: none found
  bool mcn_found = false;
  bool isrc_found = false;    // at least one track's
  bool cd_text_found = false;
  CdText cd_text;             // album title/performer, per track title/performer/songwriter
  std::vector<TrackExtras> tracks;  // in TOC order
  // Sectors read with the Q sub-channel: by the pregap search, and by the
  // MCN/ISRC scans where READ SUB-CHANNEL gave nothing.
  int64_t search_sectors = 0;
  int64_t scan_sectors = 0;
};

struct ExtrasRequest {
  bool mcn = true;
  bool isrc = true;
  bool pregaps = true;
  bool cd_text = true;
};

// toc: the READ TOC format 0 (LBA) answer the disc check kept. A TOC that
// IsSoundToc refuses gives an empty result.
DiscExtras ReadDiscExtras(CdDrive& drive, const std::vector<uint8_t>& toc, const ExtrasRequest& request = {});

// The search for one track's pregap: the first sector in [lowest, start) that
// lies in the pregap of `track`, start when none does, or -1 when the Q
// sub-channel could not tell. *sectors grows by the sectors read.
int32_t FindPregapStart(CdDrive& drive, int track, int32_t lowest, int32_t start, int64_t* sectors);

}  // namespace tonvik::cdrom
