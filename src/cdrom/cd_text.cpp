#include "cdrom/cd_text.h"

#include <array>

#include "cdrom/subchannel.h"

namespace tonvik::cdrom {
namespace {

constexpr uint8_t kTitle = 0x80, kPerformer = 0x81, kSongwriter = 0x82, kCodes = 0x8E, kSizeInfo = 0x8F;
constexpr uint8_t kIso8859 = 0x00, kAscii = 0x01;
constexpr size_t kLongestString = 160;
constexpr int kPacksPerBlock = 256;

// One text type's strings as they come off the packs, raw bytes by track.
struct TextStream {
  std::map<int, std::string> strings;
  bool synced = false;
  bool skipping = false;  // inside a string whose start was lost
  int last_sequence = -2;
  int track = 0;
  std::string current;

  void Add(const uint8_t* pack) {
    const int track_number = pack[1] & 0x7F, sequence = pack[2], position = pack[3] & 0x0F;
    if (!synced || sequence != last_sequence + 1) {
      // Packs were lost (or this is the first): start over at what this pack
      // says of itself. A pack that starts inside a string cannot finish it.
      synced = true;
      current.clear();
      track = track_number;
      skipping = position != 0;
    } else if (current.empty() && !skipping && position == 0) {
      track = track_number;
    }
    last_sequence = sequence;
    for (int i = 4; i < 16; ++i) {
      const uint8_t b = pack[i];
      if (b != 0) {
        if (!skipping && current.size() < kLongestString) current.push_back(char(b));
        continue;
      }
      if (!skipping && track <= 99) {
        // A tab alone repeats the track before.
        if (current == "\t") {
          const auto before = strings.find(track - 1);
          current = before == strings.end() ? std::string() : before->second;
        }
        strings[track] = current;
      }
      skipping = false;
      current.clear();
      ++track;
    }
  }
};

std::string Decode(const std::string& raw, uint8_t code) {
  std::string out;
  for (unsigned char c : raw) {
    if (c < 0x20 || c == 0x7F) continue;  // controls say nothing a name needs
    if (c < 0x80) {
      out.push_back(char(c));
    } else if (code == kAscii) {
      out.push_back('?');
    } else {
      out.push_back(char(0xC0 | c >> 6));
      out.push_back(char(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// UTF-8 to ISO-8859-1: '?' for what it cannot hold or what is not UTF-8;
// controls dropped.
std::string ToLatin1(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size() && out.size() < kLongestString;) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp = 0;
    size_t len = 1;
    if (c < 0x80) cp = c;
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { out.push_back('?'); ++i; continue; }
    bool ok = i + len <= utf8.size();
    for (size_t k = 1; ok && k < len; ++k) {
      const unsigned char d = static_cast<unsigned char>(utf8[i + k]);
      ok = (d & 0xC0) == 0x80;
      cp = cp << 6 | (d & 0x3F);
    }
    if (!ok) { out.push_back('?'); ++i; continue; }
    i += len;
    if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) continue;
    out.push_back(cp <= 0xFF ? char(cp) : '?');
  }
  return out;
}

void SetCrc(uint8_t* pack) {
  const uint16_t crc = SubcodeCrc(pack, 16);
  pack[16] = uint8_t(crc >> 8);
  pack[17] = uint8_t(crc);
}

}  // namespace

CdText ParseCdText(const uint8_t* answer, size_t n) {
  CdText text;
  if (!answer || n < 4) return text;
  const size_t data_length = size_t(answer[0] << 8 | answer[1]);
  const size_t bytes = std::min(n - 4, data_length >= 2 ? data_length - 2 : 0);
  std::map<uint8_t, TextStream> streams;
  std::array<uint8_t, 36> size_info{};
  bool have_size_info = false;
  for (size_t at = 4; at + kCdTextPackBytes <= 4 + bytes; at += kCdTextPackBytes) {
    const uint8_t* pack = answer + at;
    ++text.packs;
    if (SubcodeCrc(pack, 16) != uint16_t(pack[16] << 8 | pack[17])) {
      ++text.bad_crc;
      continue;
    }
    if ((pack[3] >> 4 & 0x07) != 0) continue;  // blocks 1-7: other languages
    if (pack[3] & 0x80) {
      text.double_byte = true;
      continue;
    }
    const uint8_t type = pack[0];
    if (type == kSizeInfo) {
      const int part = pack[1] & 0x7F;
      if (part <= 2) {
        std::copy(pack + 4, pack + 16, size_info.begin() + 12 * part);
        if (part == 0) have_size_info = true;
      }
    } else if (type == kTitle || type == kPerformer || type == kSongwriter || type == kCodes) {
      streams[type].Add(pack);
    }
  }
  // Without size information the text is taken as ISO-8859-1, the usual code.
  const uint8_t code = have_size_info ? size_info[0] : kIso8859;
  if (code != kIso8859 && code != kAscii) text.double_byte = text.double_byte || code == 0x80;
  if (text.double_byte || (code != kIso8859 && code != kAscii)) return text;

  auto store = [&](uint8_t type, auto field) {
    for (const auto& [track, raw] : streams[type].strings) {
      std::string value = Decode(raw, code);
      if (value.empty()) continue;
      if (track == 0) {
        field(nullptr, &text) = value;
      } else {
        field(&text.tracks[track], nullptr) = value;
      }
      text.found = true;
    }
  };
  store(kTitle, [](CdTextTrack* t, CdText* a) -> std::string& { return t ? t->title : a->album_title; });
  store(kPerformer, [](CdTextTrack* t, CdText* a) -> std::string& { return t ? t->performer : a->album_performer; });
  store(kSongwriter,
        [](CdTextTrack* t, CdText* a) -> std::string& { return t ? t->songwriter : a->album_songwriter; });
  for (const auto& [track, raw] : streams[kCodes].strings) {
    if (track == 0 && raw.size() == 13 && AllDigits(raw) && raw != std::string(13, '0')) {
      text.upc = raw;
      text.found = true;
    } else if (track > 0 && IsValidIsrc(raw)) {
      text.tracks[track].isrc = raw;
      text.found = true;
    }
  }
  return text;
}

std::vector<uint8_t> RenderCdTextPacks(const CdTextSource& source) {
  struct Type {
    uint8_t code;
    std::vector<std::string> strings;  // album first, then the tracks
  };
  std::vector<Type> types;
  auto add = [&](uint8_t code, const std::string& album, std::string CdTextTrack::*field) {
    Type type{code, {ToLatin1(album)}};
    bool any = !type.strings[0].empty();
    for (const CdTextTrack& t : source.tracks) {
      type.strings.push_back(ToLatin1(t.*field));
      any = any || !type.strings.back().empty();
    }
    if (any) types.push_back(std::move(type));
  };
  add(kTitle, source.album_title, &CdTextTrack::title);
  add(kPerformer, source.album_performer, &CdTextTrack::performer);
  add(kSongwriter, source.album_songwriter, &CdTextTrack::songwriter);
  add(kCodes, source.upc, &CdTextTrack::isrc);

  // The packs of one type: each string NUL-ended, a repeat of the track
  // before as a tab.
  auto packs_of = [&](const Type& type, int* sequence, std::vector<uint8_t>* out) {
    std::string stream;
    std::vector<int> track_of, position_of;  // per byte of the stream
    for (size_t i = 0; i < type.strings.size(); ++i) {
      std::string s = type.strings[i];
      if (i >= 2 && !s.empty() && s == type.strings[i - 1] && type.code != kCodes) s = "\t";
      const int track = i == 0 ? 0 : source.first_track + int(i) - 1;
      for (size_t k = 0; k <= s.size(); ++k) {
        stream.push_back(k < s.size() ? s[k] : '\0');
        track_of.push_back(track);
        position_of.push_back(int(std::min<size_t>(k, 15)));
      }
    }
    int count = 0;
    for (size_t at = 0; at < stream.size(); at += 12, ++count) {
      uint8_t pack[kCdTextPackBytes] = {};
      pack[0] = type.code;
      pack[1] = uint8_t(track_of[at]);
      pack[2] = uint8_t(*sequence);
      pack[3] = uint8_t(position_of[at]);  // block 0, single-byte characters
      for (size_t k = 0; k < 12 && at + k < stream.size(); ++k) pack[4 + k] = uint8_t(stream[at + k]);
      SetCrc(pack);
      ++*sequence;
      if (out) out->insert(out->end(), pack, pack + kCdTextPackBytes);
    }
    return count;
  };
  // Drop types from the last on until the block holds them and its size packs.
  for (;;) {
    int sequence = 0;
    for (const Type& type : types) packs_of(type, &sequence, nullptr);
    if (sequence + 3 <= kPacksPerBlock) break;
    types.pop_back();
  }
  if (types.empty()) return {};

  std::vector<uint8_t> out;
  std::array<uint8_t, 36> info{};
  info[0] = kIso8859;
  info[1] = uint8_t(source.first_track);
  info[2] = uint8_t(source.first_track + std::max<int>(int(source.tracks.size()) - 1, 0));
  int sequence = 0;
  for (const Type& type : types) info[4 + (type.code - 0x80)] = uint8_t(packs_of(type, &sequence, &out));
  info[4 + (kSizeInfo - 0x80)] = 3;
  info[20] = uint8_t(sequence + 2);  // last sequence number of block 0
  info[28] = 0x09;                   // language of block 0: English
  for (int part = 0; part < 3; ++part) {
    uint8_t pack[kCdTextPackBytes] = {};
    pack[0] = kSizeInfo;
    pack[1] = uint8_t(part);
    pack[2] = uint8_t(sequence++);
    std::copy(info.begin() + 12 * part, info.begin() + 12 * part + 12, pack + 4);
    SetCrc(pack);
    out.insert(out.end(), pack, pack + kCdTextPackBytes);
  }
  return out;
}

}  // namespace tonvik::cdrom
