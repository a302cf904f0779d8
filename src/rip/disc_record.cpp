#include "rip/disc_record.h"

#include <cstdio>

namespace tonvik {

DiscMetadata MetadataFromCdText(const cdrom::DiscState& disc) {
  DiscMetadata record;
  if (!disc.extras || !disc.extras->cd_text_found || disc.toc.size() < 4) return record;
  const cdrom::CdText& text = disc.extras->cd_text;
  bool any_title = false;
  for (const auto& [number, track] : text.tracks)
    if (!track.title.empty()) any_title = true;
  if (!any_title) return record;
  record.artist = text.album_performer;
  record.album = text.album_title;
  const int last = disc.toc[3];  // the TOC's last track number (checked at start-up)
  for (int number = 1; number <= last; ++number) {
    const auto track = text.tracks.find(number);
    if (track != text.tracks.end() && !track->second.title.empty()) {
      record.titles.push_back(track->second.title);
    } else {
      char name[16];
      std::snprintf(name, sizeof name, "Track %02d", number);
      record.titles.push_back(name);
    }
  }
  return record;
}

DiscMetadata ChooseDiscRecord(std::optional<DiscMetadata> looked_up, const cdrom::DiscState& disc) {
  if (looked_up && !looked_up->titles.empty()) return std::move(*looked_up);
  DiscMetadata from_disc = MetadataFromCdText(disc);
  if (!from_disc.titles.empty()) return from_disc;
  return looked_up ? std::move(*looked_up) : DiscMetadata{};
}

}  // namespace tonvik
