#include "lookup/disc_id.h"

#include <memory>

#include "cdrom/disc_check.h"
#include "core/app_exception.h"

namespace tonvik::lookup {

DiscIdInput DiscIdInputFromToc(const std::vector<uint8_t>& toc) {
  DiscIdInput in;
  for (size_t at = 4; at + 8 <= toc.size(); at += 8) {
    const int track = toc[at + 2];
    const int32_t lba = int32_t(uint32_t(toc[at + 4]) << 24 | uint32_t(toc[at + 5]) << 16 |
                                uint32_t(toc[at + 6]) << 8 | uint32_t(toc[at + 7]));
    if (track == 0xAA) {
      in.offsets[0] = lba + 150;
      break;
    }
    if (track >= 1 && track <= 99) in.offsets[track] = lba + 150;
    in.last = track;
  }
  // An enhanced CD is known by its audio session alone: the last audio
  // track is the last track and the first session's lead-out the lead-out,
  // as the service and libdiscid reading a drive count it.
  if (const auto session = cdrom::EnhancedAudioSession(toc); session && in.last <= 99) {
    in.offsets[0] = session->lead_out + 150;
    for (int t = session->last_track + 1; t <= in.last; ++t) in.offsets[t] = 0;
    in.last = session->last_track;
  }
  return in;
}

std::string DiscIdFromToc(const std::vector<uint8_t>& toc, DiscIdMaker make_disc) {
  if (toc.empty()) throw AppException("Internal error #1591.");
  std::unique_ptr<DiscId, void (*)(DiscId*)> disc(make_disc ? make_disc() : discid_new(),
                                                       discid_free);
  if (!disc) throw AppException("Internal error #1592.");
  DiscIdInput in = DiscIdInputFromToc(toc);
  if (in.last < 1 || in.last > 99 ||
      !discid_put(disc.get(), in.first, in.last, in.offsets.data())) {
    throw AppException("Internal error #1593.");
  }
  return discid_get_id(disc.get());
}

}  // namespace tonvik::lookup
