// CD-Text: the titles and names a disc carries in the R-W sub-channel of its
// lead-in, as READ TOC/PMA/ATIP format 5 returns them: a 4-byte header (data
// length, two reserved bytes) and 18-byte packs.
//
// A pack: type (0x80 title, 0x81 performer, 0x82 songwriter, 0x8E UPC/ISRC,
// 0x8F size information, ...), track number (bit 7: extension), sequence
// number, then bit 7 double-byte characters, bits 6-4 block, bits 3-0 the
// position within its string of the pack's first character; 12 bytes of
// text; an inverted CRC-16 of the first 16 bytes, high byte first.
// The text of one type is a run of NUL-ended strings, the album's (track 0)
// first, then one per track, cut into 12-byte pieces; a string that is a
// single tab means "the same as the track before".
//
// Only block 0 is read, in ISO-8859-1 or ASCII. A block of double-byte text
// (MS-JIS) is dropped, not read; packs that fail their CRC are dropped and
// the strings they would have completed with them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tonvik::cdrom {

inline constexpr int kCdTextPackBytes = 18;

struct CdTextTrack {
  std::string title, performer, songwriter;  // UTF-8
  std::string isrc;                          // from the 0x8E packs, when valid
};

struct CdText {
  bool found = false;  // at least one string came through
  std::string album_title, album_performer, album_songwriter;  // UTF-8
  std::string upc;     // the 0x8E string of track 0, when it is 13 digits
  std::map<int, CdTextTrack> tracks;  // by track number, only tracks with text
  // What the answer held: packs read, packs dropped for their CRC, and
  // whether block 0 was double-byte text (dropped).
  int packs = 0;
  int bad_crc = 0;
  bool double_byte = false;
};

// The whole READ TOC format 5 answer, header included; n is what the drive
// delivered (the answer's own length field is trusted only as far as n).
CdText ParseCdText(const uint8_t* answer, size_t n);

// What the disc-image drive writes into its lead-in: UTF-8 text, rendered as
// ISO-8859-1 (a character outside it becomes '?', controls are dropped).
struct CdTextSource {
  std::string album_title, album_performer, album_songwriter, upc;
  int first_track = 1;
  std::vector<CdTextTrack> tracks;  // first_track, first_track + 1, ...
};

// The packs of block 0 (no header): 0x80, 0x81, 0x82 and 0x8E where any text
// of the type exists, a track equal to the one before as a tab, then the
// three 0x8F size packs; every CRC set. Strings are cut at 160 bytes; when
// the packs would pass the 256 a block can hold, the types are dropped from
// the last on. Empty when there is no text.
std::vector<uint8_t> RenderCdTextPacks(const CdTextSource& source);

}  // namespace tonvik::cdrom
