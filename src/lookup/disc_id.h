// The MusicBrainz disc ID of the disc in the drive, computed by libdiscid from
// the TOC that the start-up disc check kept.
#pragma once
#include <discid/discid.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tonvik::lookup {

// What libdiscid is fed: absolute sector addresses (LBA + 150, the 2-second
// lead-in); offsets[0] is the lead-out, offsets[n] the start of track n.
struct DiscIdInput {
  int first = 1;
  int last = 0;
  std::array<int, 100> offsets{};
};

// Walks a READ TOC (format 0, LBA) response: descriptors of 8 bytes from
// byte 4 while they lie inside the buffer; the lead-out (0xAA) sets
// offsets[0] and ends the walk, any other descriptor sets offsets[its number]
// and makes that number the last track. Data tracks count like audio ones,
// except on an enhanced CD: there the audio session alone makes the ID (the
// data track of the second session and its lead-out are left out).
DiscIdInput DiscIdInputFromToc(const std::vector<uint8_t>& toc);

// The 28-character disc ID. Raises AppException "Internal error #1591." for
// an empty TOC, "#1592." when the disc object cannot be made (make_disc is
// the seam for that), "#1593." when libdiscid refuses the offsets.
using DiscIdMaker = DiscId* (*)();  // discid_new by default
std::string DiscIdFromToc(const std::vector<uint8_t>& toc, DiscIdMaker make_disc = nullptr);

}  // namespace tonvik::lookup
