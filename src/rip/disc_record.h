// The disc record a rip names and tags its files by: the lookup's, or, when
// the lookup is off, fails or finds nothing, the titles the disc carries as
// CD-Text.
#pragma once
#include <optional>

#include "cdrom/disc_check.h"
#include "output/disc_metadata.h"

namespace tonvik {

// The record of the disc's CD-Text: artist = the album's performer, album =
// the album's title, one title per track up to the TOC's last track (a track
// without a CD-Text title is "Track NN"). Empty, without titles, when the
// disc check found no CD-Text title of any track.
DiscMetadata MetadataFromCdText(const cdrom::DiscState& disc);

// The record after a lookup (nullopt: none was made, or it failed): the
// lookup's when it has titles, else the CD-Text record when the disc has
// one, else what the lookup gave (or an empty record).
DiscMetadata ChooseDiscRecord(std::optional<DiscMetadata> looked_up, const cdrom::DiscState& disc);

}  // namespace tonvik
