// The Q sub-channel: the 12 bytes every sector carries besides its audio
// (CONTROL/ADR, 9 bytes of data, an inverted CRC-16), as READ CD returns them
// with sub-channel selection 010b, and the answers of READ SUB-CHANNEL
// (formats 02h, the disc's catalogue number, and 03h, a track's ISRC).
//
// Q frames come in three modes (the ADR nibble):
//   1  position: track, index, time within the track (counting down to
//      index 01 inside a pregap), absolute time;
//   2  the disc's catalogue number (MCN, 13 BCD digits);
//   3  the track's ISRC (5 characters of 6 bits, then 7 BCD digits).
// A disc carries a mode-2 or mode-3 frame in place of a mode-1 frame at least
// once in every 100 sectors where it has them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tonvik::cdrom {

inline constexpr int kQBytes = 12;          // CONTROL/ADR, 9 data bytes, CRC
inline constexpr int kQSelectionBytes = 16;  // per sector in a READ CD with Q selected

// CRC-16 (polynomial x^16 + x^12 + x^5 + 1, initial value 0) of the bytes,
// inverted, as Q frames and CD-Text packs store it (high byte first).
uint16_t SubcodeCrc(const uint8_t* data, size_t n);

struct QFrame {
  enum Kind { Position, Catalogue, Isrc };
  Kind kind = Position;
  uint8_t control = 0;
  // Position: track number (0xAA lead-out), index, times in frames.
  int track = 0;
  int index = 0;
  int32_t relative = 0;  // frames from index 01 (before it: frames to go)
  int32_t absolute = 0;  // frames from the start of the disc: LBA + 150
  // Catalogue: 13 digits; Isrc: 12 characters, both checked by IsValid*.
  std::string text;
};

// The frame in q[0..11], or nullopt when its CRC fails, its mode is none of
// the three, a BCD digit is not one, or the MCN/ISRC it holds is not valid.
std::optional<QFrame> DecodeQ(const uint8_t q[kQBytes]);

// The 12 bytes of a frame, CRC included (used by the disc-image drive).
// A position frame's times are taken as they are (no sign: `relative` is the
// distance from index 01 either way). A code the frame cannot carry (another
// length, a character that is neither a digit nor a capital, a letter where a
// digit belongs) is encoded with codes no decoder accepts (6-bit 0x3F, BCD
// 0xF), so the frame reads as spoiled rather than as another code.
void EncodePositionQ(const QFrame& frame, uint8_t q[kQBytes]);
void EncodeCatalogueQ(uint8_t control, const std::string& mcn, int32_t absolute, uint8_t q[kQBytes]);
void EncodeIsrcQ(uint8_t control, const std::string& isrc, int32_t absolute, uint8_t q[kQBytes]);

// A catalogue number: 13 digits, not all zero (drives and sheets write
// 0000000000000 for "none"). An ISRC: country (2 capitals), owner (3 capitals
// or digits), year and designation (7 digits).
bool IsValidMcn(const std::string& mcn);
bool IsValidIsrc(const std::string& isrc);

// READ SUB-CHANNEL answers (4-byte header, then the 20-byte data block):
// the MCN when the answer is long enough, has the format code asked for,
// sets MCVal/TCVal and holds a valid number; nullopt otherwise, which is how
// a drive that answers poorly looks.
std::optional<std::string> ParseMcnAnswer(const uint8_t* answer, size_t n);
std::optional<std::string> ParseIsrcAnswer(const uint8_t* answer, size_t n);

}  // namespace tonvik::cdrom
