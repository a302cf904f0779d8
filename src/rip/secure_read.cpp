#include "rip/secure_read.h"

#include <algorithm>
#include <cstring>

#include "cdrom/cd_drive.h"
#include "cdrom/track_reader.h"
#include "core/app_exception.h"

namespace tonvik {
namespace {

// The longest run of neighbouring sectors read again in one go.
constexpr int32_t kMostRunSectors = 4 * 26;
// How far from a run the read that empties the drive's cache goes: more
// than any drive caches (about 10 MB).
constexpr int32_t kCacheDefeatSectors = 4500;

uint64_t Mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

}  // namespace

uint64_t SectorHash(const uint8_t* sector) {
  // Two independent lanes over the 294 words of the sector; a flipped bit
  // anywhere changes both.
  uint64_t a = 0x9e3779b97f4a7c15ull, b = 0x243f6a8885a308d3ull;
  for (int i = 0; i < kSecureSectorBytes; i += 8) {
    uint64_t w;
    std::memcpy(&w, sector + i, 8);
    a = (a ^ w) * 0x100000001b3ull;
    b = Mix(b + w);
  }
  return Mix(a) ^ b;
}

std::optional<AgreementCounts> SettleDifferences(uint8_t* block, int32_t block_first, int32_t block_sectors,
                                                 const std::vector<uint64_t>& earlier, const SectorReread& reread) {
  struct Open {
    int32_t index;               // in the block
    std::vector<uint64_t> seen;  // the fingerprints of every reading so far
    int rereads = 0;
  };
  std::vector<Open> open;
  for (int32_t i = 0; i < block_sectors; ++i) {
    const size_t at = size_t(block_first + i);
    if (at >= earlier.size()) break;
    const uint64_t now = SectorHash(block + size_t(i) * kSecureSectorBytes);
    if (now != earlier[at]) open.push_back({i, {earlier[at], now}, 0});
  }
  AgreementCounts counts;
  counts.differing = int32_t(open.size());
  std::vector<uint8_t> run;
  while (!open.empty()) {
    std::vector<Open> still;
    for (size_t a = 0; a < open.size();) {
      size_t b = a + 1;
      while (b < open.size() && open[b].index == open[b - 1].index + 1 && int32_t(b - a) < kMostRunSectors) ++b;
      run.resize((b - a) * kSecureSectorBytes);
      const RereadOutcome outcome = reread(block_first + open[a].index, int32_t(b - a), run.data());
      if (outcome == RereadOutcome::Cancelled) return std::nullopt;
      for (size_t k = a; k < b; ++k) {
        Open& sector = open[k];
        uint8_t* into = block + size_t(sector.index) * kSecureSectorBytes;
        ++sector.rereads;
        if (outcome == RereadOutcome::Read) {
          const uint8_t* got = run.data() + (k - a) * kSecureSectorBytes;
          const uint64_t h = SectorHash(got);
          if (std::find(sector.seen.begin(), sector.seen.end(), h) != sector.seen.end()) {
            std::memcpy(into, got, kSecureSectorBytes);
            continue;  // two readings agree
          }
          sector.seen.push_back(h);
        }
        if (sector.rereads >= kMostRereads) {
          std::memset(into, 0, kSecureSectorBytes);
          ++counts.never_agreed;
          continue;
        }
        still.push_back(std::move(sector));
      }
      a = b;
    }
    open = std::move(still);
  }
  return counts;
}

CarefulRead ReadComparing(const CarefulReadJob& job, const std::vector<uint64_t>& earlier,
                          const std::function<bool(const uint8_t* data, size_t size)>& deliver) {
  CarefulRead result;
  const std::atomic<const std::atomic<uint8_t>*> cancel{job.cancel};
  auto cancelled = [&] { return job.cancel && job.cancel->load() != 0; };
  // Reads sectors first.. of the track, with correction, into out; the
  // pause holds it between sectors.
  auto read_into = [&](cdrom::TrackReader& reader, int32_t count, uint8_t* out) {
    for (int32_t i = 0; i < count; ++i) {
      if (job.pause) job.pause->Wait();
      if (cancelled()) return false;
      reader.ReadSector(out + size_t(i) * kSecureSectorBytes);
    }
    return true;
  };
  // A reading of a run is a plain read, as the agreement of two readings
  // is the proof; before it, a read far away makes the drive fetch the run
  // from the disc, not from its cache.
  std::vector<uint8_t> far(kSecureSectorBytes);
  const SectorReread reread = [&](int32_t first, int32_t count, uint8_t* out) {
    if (cancelled()) return RereadOutcome::Cancelled;
    const int32_t at = job.first_sector + first;
    const int32_t away = at + kCacheDefeatSectors < job.disc_end ? at + kCacheDefeatSectors
                                                                   : std::max(0, at - kCacheDefeatSectors);
    if (away != at) {
      job.drive->ReadCd(away, 1, far.data());
      ++result.raw_sectors;
    }
    try {
      cdrom::TrackReader again(*job.drive, cancel, at, count, false, job.read_offset, job.disc_end);
      const bool whole = read_into(again, count, out);
      result.raw_sectors += again.raw_sectors_read();
      if (!whole) return RereadOutcome::Cancelled;
      return again.unread_sectors() == 0 ? RereadOutcome::Read : RereadOutcome::Unreadable;
    } catch (const AppException&) {
      return cancelled() ? RereadOutcome::Cancelled : RereadOutcome::Unreadable;
    }
  };

  std::vector<uint8_t> block;
  try {
    cdrom::TrackReader reader(*job.drive, cancel, job.first_sector, job.sector_count, true, job.read_offset,
                              job.disc_end);
    for (int32_t at = 0; at < job.sector_count && !result.cancelled; at += kCarefulBlockSectors) {
      const int32_t n = std::min(kCarefulBlockSectors, job.sector_count - at);
      block.resize(size_t(n) * kSecureSectorBytes);
      if (!read_into(reader, n, block.data())) {
        result.cancelled = true;
        break;
      }
      const auto settled = SettleDifferences(block.data(), at, n, earlier, reread);
      if (!settled) {
        result.cancelled = true;
        break;
      }
      result.counts.differing += settled->differing;
      result.counts.never_agreed += settled->never_agreed;
      for (int32_t piece = 0; piece < n; piece += 26) {
        const int32_t sectors = std::min(26, n - piece);
        if (!deliver(block.data() + size_t(piece) * kSecureSectorBytes, size_t(sectors) * kSecureSectorBytes)) {
          result.cancelled = true;
          break;
        }
      }
    }
    result.unread = reader.unread_sectors();
    result.raw_sectors += reader.raw_sectors_read();
  } catch (const AppException&) {
    (cancelled() ? result.cancelled : result.failed) = true;
  }
  return result;
}

}  // namespace tonvik
