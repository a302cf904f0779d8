#include "accuraterip/record.h"

#include <algorithm>
#include <cctype>

namespace tonvik::accuraterip {

namespace {

constexpr size_t kHeaderSize = 13;
constexpr size_t kEntrySize = 9;

uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool StartsWithOctetStream(std::string_view type) {
  constexpr std::string_view kOctetStream = "application/octet-stream";
  if (type.size() < kOctetStream.size()) return false;
  return std::equal(kOctetStream.begin(), kOctetStream.end(), type.begin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

bool MentionsHtml(std::string_view body) {
  std::string head(body.substr(0, 64));
  std::transform(head.begin(), head.end(), head.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return head.find("html") != std::string::npos;
}

}  // namespace

RecordLookup ReadRecord(std::string_view body, std::string_view content_type, const DiscIds& ids) {
  if (body.empty() || (!StartsWithOctetStream(content_type) && MentionsHtml(body)))
    return {LookupStatus::NotPresent, {}};
  const RecordLookup rejected{LookupStatus::Rejected, {}};
  if (ids.audio_tracks < 1 || ids.audio_tracks > 99) return rejected;
  const size_t chunk = kHeaderSize + kEntrySize * size_t(ids.audio_tracks);
  if (body.size() % chunk != 0) return rejected;

  RecordLookup record{LookupStatus::Found, {}};
  const auto* bytes = reinterpret_cast<const unsigned char*>(body.data());
  for (size_t at = 0; at < body.size(); at += chunk) {
    const unsigned char* p = bytes + at;
    if (p[0] != ids.audio_tracks || Le32(p + 1) != ids.id1 || Le32(p + 5) != ids.id2 ||
        Le32(p + 9) != ids.freedb) {
      return rejected;
    }
    Pressing pressing;
    for (const unsigned char* e = p + kHeaderSize; e < p + chunk; e += kEntrySize)
      pressing.tracks.push_back({e[0], Le32(e + 1), Le32(e + 5)});
    record.pressings.push_back(std::move(pressing));
  }
  return record;
}

}  // namespace tonvik::accuraterip
