// Reads one track sector by sector through the paranoia layer of cdparanoia,
// over the program's own READ CD. Owned by the reader thread; one per track.
#pragma once
#include <atomic>
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
  TrackReader(CdDrive& drive, const std::atomic<const std::atomic<uint8_t>*>& cancel,
              int32_t first_sector, int32_t sector_count, bool jitter_correction);
  ~TrackReader();
  TrackReader(const TrackReader&) = delete;
  TrackReader& operator=(const TrackReader&) = delete;

  // The next sector of the track into out (2352 bytes). Throws
  // DVDCopyException "Audio CD read error." once the read was aborted.
  void ReadSector(uint8_t* out);

  // Sectors of the track that could not be read and went out as silence.
  int32_t unread_sectors() const;
  // Raw sectors asked of the drive so far (read amplification).
  int64_t raw_sectors_read() const { return raw_sectors_; }

  // The raw read the layer calls: READ CD of count sectors at lba; count
  // when done, -7 on failure. Public for the layer's C callback only.
  long ReadSectors(void* buffer, long lba, long count);

 private:
  struct Library;  // the layer's drive description and state

  bool Cancelled() const;
  // After the guard tripped: finds the next readable sector past next_lba_.
  void SkipUnreadableSpot();

  CdDrive& drive_;
  const std::atomic<const std::atomic<uint8_t>*>& cancel_;
  const int32_t first_;
  const int32_t last_;  // inclusive
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
