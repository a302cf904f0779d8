#include "cdrom/subchannel.h"

#include <algorithm>
#include <cstring>

namespace tonvik::cdrom {
namespace {

int FromBcd(uint8_t b) {
  const int hi = b >> 4, lo = b & 0x0F;
  return hi > 9 || lo > 9 ? -1 : hi * 10 + lo;
}
uint8_t ToBcd(int v) { return uint8_t((v / 10 % 10) << 4 | v % 10); }

// Frames from three BCD bytes m, s, f; -1 when one is not BCD or out of range.
int32_t FromBcdMsf(const uint8_t* p) {
  const int m = FromBcd(p[0]), s = FromBcd(p[1]), f = FromBcd(p[2]);
  if (m < 0 || s < 0 || f < 0 || s > 59 || f > 74) return -1;
  return (m * 60 + s) * 75 + f;
}
void ToBcdMsf(int32_t frames, uint8_t* p) {
  frames = std::clamp<int32_t>(frames, 0, (99 * 60 + 59) * 75 + 74);
  p[0] = ToBcd(frames / 4500);
  p[1] = ToBcd(frames / 75 % 60);
  p[2] = ToBcd(frames % 75);
}

void PutCrc(uint8_t q[kQBytes]) {
  const uint16_t crc = SubcodeCrc(q, 10);
  q[10] = uint8_t(crc >> 8);
  q[11] = uint8_t(crc);
}

// The 6-bit character code of ISRC frames: digits 0x00-0x09, capitals from 0x11.
int IsrcCode(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return 0x11 + (c - 'A');
  return 0x3F;
}
char IsrcChar(int code) {
  if (code <= 9) return char('0' + code);
  if (code >= 0x11 && code <= 0x11 + 25) return char('A' + code - 0x11);
  return '\0';
}

bool AllDigits(const std::string& s, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

}  // namespace

uint16_t SubcodeCrc(const uint8_t* data, size_t n) {
  uint16_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    crc ^= uint16_t(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit) crc = uint16_t(crc & 0x8000 ? crc << 1 ^ 0x1021 : crc << 1);
  }
  return uint16_t(~crc);
}

bool IsValidMcn(const std::string& mcn) {
  return mcn.size() == 13 && AllDigits(mcn, 0, 13) && mcn != std::string(13, '0');
}

bool IsValidIsrc(const std::string& isrc) {
  if (isrc.size() != 12) return false;
  for (size_t i = 0; i < 5; ++i) {
    const char c = isrc[i];
    const bool capital = c >= 'A' && c <= 'Z', digit = c >= '0' && c <= '9';
    if (i < 2 ? !capital : !(capital || digit)) return false;
  }
  return AllDigits(isrc, 5, 12);
}

std::optional<QFrame> DecodeQ(const uint8_t q[kQBytes]) {
  if (SubcodeCrc(q, 10) != uint16_t(q[10] << 8 | q[11])) return std::nullopt;
  QFrame frame;
  frame.control = uint8_t(q[0] >> 4);
  switch (q[0] & 0x0F) {
    case 1: {
      frame.kind = QFrame::Position;
      frame.track = q[1] == 0xAA ? 0xAA : FromBcd(q[1]);
      frame.index = FromBcd(q[2]);
      frame.relative = FromBcdMsf(q + 3);
      frame.absolute = FromBcdMsf(q + 7);
      if (frame.track < 0 || frame.index < 0 || frame.relative < 0 || frame.absolute < 0) return std::nullopt;
      return frame;
    }
    case 2: {
      frame.kind = QFrame::Catalogue;
      for (int i = 0; i < 13; ++i) {
        const int digit = i % 2 ? q[1 + i / 2] & 0x0F : q[1 + i / 2] >> 4;
        if (digit > 9) return std::nullopt;
        frame.text.push_back(char('0' + digit));
      }
      if (!IsValidMcn(frame.text)) return std::nullopt;
      return frame;
    }
    case 3: {
      frame.kind = QFrame::Isrc;
      // Five 6-bit characters in bytes 1-4 (30 bits, 2 zero bits after).
      const uint32_t bits = uint32_t(q[1]) << 24 | uint32_t(q[2]) << 16 | uint32_t(q[3]) << 8 | q[4];
      for (int i = 0; i < 5; ++i) {
        const char c = IsrcChar(int(bits >> (26 - 6 * i) & 0x3F));
        if (!c) return std::nullopt;
        frame.text.push_back(c);
      }
      for (int i = 0; i < 7; ++i) {
        const int digit = i % 2 ? q[5 + i / 2] & 0x0F : q[5 + i / 2] >> 4;
        if (digit > 9) return std::nullopt;
        frame.text.push_back(char('0' + digit));
      }
      if (!IsValidIsrc(frame.text)) return std::nullopt;
      return frame;
    }
    default:
      return std::nullopt;
  }
}

void EncodePositionQ(const QFrame& frame, uint8_t q[kQBytes]) {
  std::memset(q, 0, kQBytes);
  q[0] = uint8_t(frame.control << 4 | 1);
  q[1] = frame.track == 0xAA ? 0xAA : ToBcd(frame.track);
  q[2] = ToBcd(frame.index);
  ToBcdMsf(frame.relative, q + 3);
  ToBcdMsf(frame.absolute, q + 7);
  PutCrc(q);
}

void EncodeCatalogueQ(uint8_t control, const std::string& mcn, int32_t absolute, uint8_t q[kQBytes]) {
  std::memset(q, 0, kQBytes);
  q[0] = uint8_t(control << 4 | 2);
  for (int i = 0; i < 13; ++i) {
    const char c = mcn.size() == 13 ? mcn[size_t(i)] : '\0';
    const uint8_t digit = c >= '0' && c <= '9' ? uint8_t(c - '0') : 0x0F;
    q[1 + i / 2] |= i % 2 ? digit : uint8_t(digit << 4);
  }
  q[9] = ToBcd(absolute % 75);  // AFRAME
  PutCrc(q);
}

void EncodeIsrcQ(uint8_t control, const std::string& isrc, int32_t absolute, uint8_t q[kQBytes]) {
  std::memset(q, 0, kQBytes);
  q[0] = uint8_t(control << 4 | 3);
  uint32_t bits = 0;
  const bool whole = isrc.size() == 12;
  for (size_t i = 0; i < 5; ++i) bits |= uint32_t(IsrcCode(whole ? isrc[i] : '\0')) << (26 - 6 * i);
  q[1] = uint8_t(bits >> 24);
  q[2] = uint8_t(bits >> 16);
  q[3] = uint8_t(bits >> 8);
  q[4] = uint8_t(bits);
  for (size_t i = 0; i < 7; ++i) {
    const char c = whole ? isrc[5 + i] : '\0';
    const uint8_t digit = c >= '0' && c <= '9' ? uint8_t(c - '0') : 0x0F;
    q[5 + i / 2] |= i % 2 ? digit : uint8_t(digit << 4);
  }
  q[9] = ToBcd(absolute % 75);
  PutCrc(q);
}

namespace {
// The 20-byte data block after the 4-byte header: format code at 4, the
// valid bit at 8, the text from 9 on.
std::optional<std::string> ParseAnswer(const uint8_t* answer, size_t n, uint8_t format, size_t length) {
  if (!answer || n < 9 + length) return std::nullopt;
  const size_t data_length = size_t(answer[2] << 8 | answer[3]);
  if (data_length < 5 + length || answer[4] != format || !(answer[8] & 0x80)) return std::nullopt;
  std::string text(reinterpret_cast<const char*>(answer + 9), length);
  return text;
}
}  // namespace

std::optional<std::string> ParseMcnAnswer(const uint8_t* answer, size_t n) {
  auto mcn = ParseAnswer(answer, n, 0x02, 13);
  if (!mcn || !IsValidMcn(*mcn)) return std::nullopt;
  return mcn;
}

std::optional<std::string> ParseIsrcAnswer(const uint8_t* answer, size_t n) {
  auto isrc = ParseAnswer(answer, n, 0x03, 12);
  if (!isrc || !IsValidIsrc(*isrc)) return std::nullopt;
  return isrc;
}

}  // namespace tonvik::cdrom
