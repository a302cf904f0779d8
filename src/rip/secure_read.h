// The careful read of a track whose quick (burst) read could not be
// verified: the track is read again with jitter correction and compared
// with the quick read sector by sector, and every sector where the two
// differ is read again until two of its reads agree.
//
// Threads: everything here runs on the rip job's thread, which owns the
// drive while no reader thread is running.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/event.h"

namespace tonvik {

namespace cdrom {
class CdDrive;
}

inline constexpr int32_t kSecureSectorBytes = 2352;
// Reads of one sector after the first two before it is given up as silence.
inline constexpr int kMostRereads = 16;

// A fingerprint of one sector (2352 bytes): two reads of a sector are taken
// to agree when their fingerprints do.
uint64_t SectorHash(const uint8_t* sector);

// What became of the sectors the two reads disagreed on.
struct AgreementCounts {
  int32_t differing = 0;     // sectors read again because the two reads differed
  int32_t never_agreed = 0;  // of those, sectors no two reads of which agreed: now silence
};

enum class RereadOutcome { Read, Unreadable, Cancelled };
// Reads `count` sectors of the track from its sector `first` (0-based) into
// out. Unreadable: some sector came back as silence, so no sector of this
// read counts as a reading of it.
using SectorReread = std::function<RereadOutcome(int32_t first, int32_t count, uint8_t* out)>;

// `block` holds the track's sectors block_first.. (block_sectors of them)
// from the corrected read; `earlier` the quick read's SectorHash of every
// sector of the track. Every sector whose two reads differ is read again,
// in runs of neighbours, until one reading equals an earlier one (the quick
// read, the corrected one, or another reading): that reading goes into the
// block. After kMostRereads readings without agreement the sector becomes
// silence. nullopt when a reread was cancelled (the block is then partly
// settled). ReadComparing reads them plainly, each run after a read far
// away that empties the drive's cache: the agreement is the proof.
std::optional<AgreementCounts> SettleDifferences(uint8_t* block, int32_t block_first, int32_t block_sectors,
                                                 const std::vector<uint64_t>& earlier, const SectorReread& reread);

// Where the careful read reads, and what it obeys.
struct CarefulReadJob {
  cdrom::CdDrive* drive = nullptr;
  int32_t first_sector = 0;
  int32_t sector_count = 0;
  int32_t read_offset = 0;
  int32_t disc_end = 0;
  const std::atomic<uint8_t>* cancel = nullptr;  // non-zero: stop
  ManualResetEvent* pause = nullptr;             // reset: wait before the next sector
};

struct CarefulRead {
  AgreementCounts counts;
  int32_t unread = 0;          // sectors the corrected read could not read (silence)
  int64_t raw_sectors = 0;     // sectors asked of the drive, rereads included
  bool cancelled = false;
  bool failed = false;         // the drive gave up on the track
};

// Reads the track with jitter correction in blocks of kCarefulBlockSectors,
// settles each block against the quick read (SettleDifferences) and hands
// it to `deliver` in pieces of at most 26 sectors, every piece but the last
// whole. `deliver` returns false to stop (a cancel).
inline constexpr int32_t kCarefulBlockSectors = 16 * 26;
CarefulRead ReadComparing(const CarefulReadJob& job, const std::vector<uint64_t>& earlier,
                          const std::function<bool(const uint8_t* data, size_t size)>& deliver);

}  // namespace tonvik
