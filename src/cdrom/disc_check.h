// The start-up disc check: identifies the drive named by the start-up paths,
// refuses discs that cannot be ripped, keeps the TOC as the drive returned it
// and decides which tracks are ripped.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tonvik::cdrom {

class CdDrive;

// Written once by CheckDisc, read-only afterwards.
struct DiscState {
  std::vector<uint8_t> toc;     // READ TOC format 0 (LBA) response, byte for byte
  char16_t drive_letter = 0;
  std::vector<int32_t> selection;  // track numbers in ripping order
};
DiscState& Disc();

// Raises AppException with the user's message when the disc cannot be ripped.
// The drive is closed again on every path.
void CheckDisc(const std::vector<std::u16string>& paths);

// Opens the drive and checks it is a CD/DVD device; raises AppException
// ("Cannot access CD drive: %1%.", "Internal error #151. ...") otherwise.
void OpenAndIdentify(CdDrive& drive, char16_t letter);

struct TrackExtent {
  int32_t first_sector;
  int32_t sector_count;
};
// Track number → extent up to the next TOC entry; the walk stops at the
// lead-out or at the end of the buffer.
std::map<int32_t, TrackExtent> BuildTrackMap(const std::vector<uint8_t>& toc);

}  // namespace tonvik::cdrom
