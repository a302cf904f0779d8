#include "ctdb/toc.h"

#include <openssl/evp.h>

#include <charconv>
#include <cstdio>

namespace tonvik::ctdb {

using accuraterip::DiscToc;

std::string TocString(const DiscToc& toc) {
  std::string text;
  for (const accuraterip::TocTrack& track : toc.tracks) {
    if (track.data) text += '-';
    text += std::to_string(track.start) + ':';
  }
  return text + std::to_string(toc.lead_out);
}

std::optional<DiscToc> ParseTocString(std::string_view text) {
  DiscToc toc;
  std::vector<std::pair<int32_t, bool>> items;
  while (true) {
    const size_t colon = text.find(':');
    std::string_view item = text.substr(0, colon);
    const bool data = !item.empty() && item.front() == '-';
    if (data) item.remove_prefix(1);
    int32_t value = 0;
    const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value);
    if (item.empty() || error != std::errc() || end != item.data() + item.size() || value < 0) return std::nullopt;
    if (!items.empty() && value <= items.back().first) return std::nullopt;
    items.emplace_back(value, data);
    if (colon == std::string_view::npos) break;
    text.remove_prefix(colon + 1);
  }
  if (items.size() < 2 || items.size() > 100 || items.back().second) return std::nullopt;
  for (size_t i = 0; i + 1 < items.size(); ++i)
    toc.tracks.push_back({int(i) + 1, items[i].first, items[i].second});
  toc.lead_out = items.back().first;
  return toc;
}

AudioLayout LayoutOf(const DiscToc& toc) {
  AudioLayout layout;
  const std::vector<accuraterip::AudioTrack> audio = accuraterip::AudioTracks(toc);
  if (audio.empty()) return layout;
  layout.first_sector = audio.front().start;
  layout.end_sector = audio.back().start + audio.back().sectors;
  for (const accuraterip::AudioTrack& track : audio)
    layout.track_starts.push_back(uint64_t(track.start - layout.first_sector) * kSamplesPerSector);
  layout.samples = uint64_t(layout.end_sector - layout.first_sector) * kSamplesPerSector;
  return layout;
}

std::string TocId(const DiscToc& toc) {
  const AudioLayout layout = LayoutOf(toc);
  if (layout.track_starts.empty()) return {};
  std::string text;
  char hex[9];
  for (size_t t = 1; t < layout.track_starts.size(); ++t) {
    std::snprintf(hex, sizeof hex, "%08X", unsigned(layout.track_starts[t] / kSamplesPerSector));
    text += hex;
  }
  std::snprintf(hex, sizeof hex, "%08X", unsigned(layout.end_sector - layout.first_sector));
  text += hex;
  text.resize(std::max<size_t>(text.size(), 800), '0');

  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digest_size = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &digest_size, EVP_sha1(), nullptr) != 1) return {};
  unsigned char base64[64];
  const int size = EVP_EncodeBlock(base64, digest, int(digest_size));
  std::string id(reinterpret_cast<const char*>(base64), size_t(size));
  for (char& c : id) {
    if (c == '+') c = '.';
    else if (c == '/') c = '_';
    else if (c == '=') c = '-';
  }
  return id;
}

std::string LookupUrl(const DiscToc& toc, std::string_view host) {
  return std::string(host) + "/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=" + TocString(toc);
}

}  // namespace tonvik::ctdb
