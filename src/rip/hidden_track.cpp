#include "rip/hidden_track.h"

#include <algorithm>
#include <vector>

#include "cdrom/cd_drive.h"

namespace tonvik {
namespace {

constexpr int64_t kSectorSamples = 588;
constexpr int64_t kSampleBytes = 4;  // 16-bit stereo
constexpr int32_t kSectorBytes = 2352;
constexpr int32_t kSectorsPerRead = 26;

}  // namespace

std::optional<cdrom::TrackExtent> FindHiddenTrack(cdrom::CdDrive& drive, const accuraterip::DiscToc& toc,
                                                  int32_t read_offset, const std::atomic<uint8_t>& cancel) {
  if (toc.tracks.empty()) return std::nullopt;
  const accuraterip::TocTrack& first = toc.tracks.front();
  if (first.number != 1 || first.data || first.start <= 0) return std::nullopt;

  // The drive's samples the rip of {0, start} is cut from, within the disc.
  const int64_t from = std::max<int64_t>(read_offset, 0);
  const int64_t to = std::min<int64_t>(first.start * kSectorSamples + read_offset, toc.lead_out * kSectorSamples);
  if (to <= from) return std::nullopt;

  std::vector<uint8_t> buffer(size_t(kSectorsPerRead) * kSectorBytes);
  const int32_t last_sector = int32_t((to - 1) / kSectorSamples);
  for (int32_t lba = int32_t(from / kSectorSamples); lba <= last_sector; lba += kSectorsPerRead) {
    if (cancel) return std::nullopt;
    const int32_t count = std::min(kSectorsPerRead, last_sector - lba + 1);
    if (drive.ReadCd(lba, uint8_t(count), buffer.data()) != 0) return std::nullopt;
    // The bytes of this read that lie in the window.
    const int64_t base = int64_t(lba) * kSectorSamples;
    const int64_t begin = (std::max(from, base) - base) * kSampleBytes;
    const int64_t end = (std::min(to, base + count * kSectorSamples) - base) * kSampleBytes;
    if (std::any_of(buffer.begin() + begin, buffer.begin() + end, [](uint8_t b) { return b != 0; }))
      return cdrom::TrackExtent{0, first.start};
  }
  return std::nullopt;
}

}  // namespace tonvik
