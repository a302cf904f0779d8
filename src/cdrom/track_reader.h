// Reads one track sector by sector through the paranoia layer of cdparanoia,
// over the program's own READ CD. Owned by the reader thread; one per track.
//
// Read-offset correction: a drive with read offset o (AccurateRip's sign, in
// stereo samples) delivers for sector s the disc's samples from 588*s - o on,
// so the disc's sample p is the drive's sample p + o. The reader has the
// layer read the track's sectors moved by floor(o / 588) plus, when o is not
// a whole number of sectors, one more, and cuts each delivered sector out of
// two neighbouring raw ones. Raw sectors before LBA 0 or from disc_end on are
// never asked for; what the track needs of them goes out as silence, which is
// what AccurateRip assumes there.
#pragma once
#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <vector>

namespace tonvik::cdrom {

class CdDrive;

class TrackReader {
 public:
  static constexpr int32_t kSectorBytes = 2352;
  static constexpr int32_t kMaxSectorsPerRead = 26;  // 61152 bytes per READ CD
  // Raw reads without a sector coming back before the guard gives up on the
  // spot (the layer's own worst case is about 5 x 47 calls).
  static constexpr int kStallBudget = 300;

  // cancel: the rip job's flag (non-zero = cancelled), read on every raw read.
  // read_offset: the drive's, as above (0: no correction, the track's own
  // sectors are read). disc_end: the first sector the drive cannot be asked
  // for (the lead-out; on an enhanced CD the end of the audio session).
  TrackReader(CdDrive& drive, const std::atomic<const std::atomic<uint8_t>*>& cancel,
              int32_t first_sector, int32_t sector_count, bool jitter_correction,
              int32_t read_offset = 0, int32_t disc_end = INT32_MAX);
  ~TrackReader();
  TrackReader(const TrackReader&) = delete;
  TrackReader& operator=(const TrackReader&) = delete;

  // The next sector of the track into out (2352 bytes). Throws
  // DVDCopyException "Audio CD read error." once the read was aborted.
  void ReadSector(uint8_t* out);

  // Raw sectors that could not be read and went out as silence (the disc's
  // edges, which are never read, do not count).
  int32_t unread_sectors() const;
  // Raw sectors asked of the drive so far (read amplification).
  int64_t raw_sectors_read() const { return raw_sectors_; }

  // The raw read the layer calls: READ CD of count sectors at lba; count
  // when done, -7 on failure. Public for the layer's C callback only.
  long ReadSectors(void* buffer, long lba, long count);

 private:
  struct Library;  // the layer's drive description and state

  bool Cancelled() const;
  // The next raw sector of the window: silence outside the disc, else the
  // layer's next sector.
  void FetchRaw(uint8_t* out);
  // The layer's next sector (next_lba_) into out.
  void ReadRaw(uint8_t* out);
  // After the guard tripped: finds the next readable sector past next_lba_.
  void SkipUnreadableSpot();

  CdDrive& drive_;
  const std::atomic<const std::atomic<uint8_t>*>& cancel_;
  // The raw sectors the layer reads: the track's, moved and widened for the
  // read offset, cut to the disc. Empty (first_ > last_) when all of it lies
  // outside the disc.
  const int32_t first_;
  const int32_t last_;  // inclusive
  const int32_t shift_bytes_;  // into the raw sector a delivered one starts at, 0..2348
  int32_t window_next_;        // the raw sector FetchRaw gives next, maybe outside the disc
  bool primed_ = false;        // carry_ holds the raw sector before window_next_
  std::vector<uint8_t> carry_;
  std::unique_ptr<Library> lib_;
  int32_t abort_ = 0;        // 1 once a raw read found the cancel flag set
  bool guard_tripped_ = false;
  int stalled_calls_ = 0;    // raw reads since the last sector came back
  int32_t next_lba_;         // the sector ReadSector delivers next
  int32_t silence_until_ = 0;  // sectors below this LBA go out as silence
  int32_t guard_silenced_ = 0;
  int64_t raw_sectors_ = 0;
  // Per sector of the track: some raw read of it succeeded. A delivered
  // sector that was never read cannot carry the disc's audio.
  std::vector<bool> read_ok_;
  std::vector<uint8_t> scratch_;  // for the layer's buffer-less seek reads
};

}  // namespace tonvik::cdrom
