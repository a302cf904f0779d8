// The hidden track before track 1: audio some discs hold in the pregap of
// their first track, from sector 0 up to track 1's INDEX 01. No track of the
// TOC covers it and no database holds sums for it; a rip of the whole disc
// writes it as track 0, named and tagged with the number 0 (see
// output/disc_metadata.h, kHiddenTrackIndex).
//
// Most discs start track 1 at sector 0, or after a few dozen sectors of
// digital silence; those have none. A drive that refuses to read before
// track 1 (some do) gives none either: the rip goes on without it.
#pragma once
#include <atomic>
#include <cstdint>
#include <optional>

#include "accuraterip/disc_toc.h"
#include "cdrom/disc_check.h"

namespace tonvik {

namespace cdrom {
class CdDrive;
}

// The sectors of the hidden track, {0, start of track 1}, when the disc's
// first track is audio track 1 starting after sector 0 and the audio before
// it is not digital silence (some sample not zero). The samples looked at are
// those a rip of that extent delivers at the drive's read offset (AccurateRip's
// sign): the drive's samples [offset, 588 x start + offset), of which those
// before sector 0 are never read (the rip writes silence for them). They are
// read on `drive`, open, in the caller's thread, up to the first sample that
// is not zero; a read that fails, or a cancel, gives nullopt.
std::optional<cdrom::TrackExtent> FindHiddenTrack(cdrom::CdDrive& drive, const accuraterip::DiscToc& toc,
                                                  int32_t read_offset, const std::atomic<uint8_t>& cancel);

}  // namespace tonvik
