#include "cdrom/track_reader.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "cdrom/cd_drive.h"
#include "core/app_exception.h"

extern "C" {
#include <cdda_interface.h>
#include <cdda_paranoia.h>
}

namespace tonvik::cdrom {
namespace {

constexpr int kModeJitter = PARANOIA_MODE_FULL & ~PARANOIA_MODE_NEVERSKIP;  // 0xDF
constexpr int kModePlain = PARANOIA_MODE_DISABLE;
constexpr int kRetriesWithoutProgress = 5;
// Sectors the layer reads in one go: 4 READ CDs, well under the 256 pipe
// buffers (one per 2352-byte write) of a 1 MiB pipe.
constexpr int kCacheModelSectors = 4 * TrackReader::kMaxSectorsPerRead;

// Laid out as the library's private block of its Linux interface: the cache
// handling reads last_milliseconds after every timed read.
struct PrivateBlock {
  void* sg_hd;
  unsigned char* sg_buffer;
  clockid_t clock;
  int last_milliseconds;
};

// The reader of the current thread, for the C read callback (the layer gives
// it no user data).
thread_local TrackReader* t_reader = nullptr;

long RawRead(cdrom_drive* d, void* buffer, long begin, long sectors) {
  (void)d;
  return t_reader ? t_reader->ReadSectors(buffer, begin, sectors) : -7;
}

int NoOpOnOff(cdrom_drive*, int) { return 0; }

constexpr int32_t kSectorSamples = TrackReader::kSectorBytes / 4;

// Whole sectors the raw window moves by: floor(offset / 588).
int32_t SectorShift(int32_t offset) {
  return offset >= 0 ? offset / kSectorSamples : -((-offset + kSectorSamples - 1) / kSectorSamples);
}
// The rest, 0..587 samples, as bytes into the first raw sector.
int32_t ByteShift(int32_t offset) { return (offset - SectorShift(offset) * kSectorSamples) * 4; }

}  // namespace

struct TrackReader::Library {
  cdrom_drive drive;
  PrivateBlock block;
  cdrom_paranoia* paranoia = nullptr;
};

TrackReader::TrackReader(CdDrive& drive, const std::atomic<const std::atomic<uint8_t>*>& cancel,
                         int32_t first_sector, int32_t sector_count, bool jitter_correction,
                         int32_t read_offset, int32_t disc_end)
    : drive_(drive),
      cancel_(cancel),
      first_(std::max(first_sector + SectorShift(read_offset), 0)),
      last_(std::min(first_sector + std::max(sector_count, 1) - 1 + SectorShift(read_offset) +
                         (ByteShift(read_offset) ? 1 : 0),
                     disc_end - 1)),
      shift_bytes_(ByteShift(read_offset)),
      window_next_(first_sector + SectorShift(read_offset)),
      carry_(shift_bytes_ ? kSectorBytes : 0),
      lib_(std::make_unique<Library>()),
      next_lba_(first_),
      read_ok_(static_cast<size_t>(std::max(last_ - first_ + 1, 0)), false),
      scratch_(kSectorBytes * kMaxSectorsPerRead) {
  if (first_ > last_) return;  // the whole window lies outside the disc: nothing to read
  // A hand-made drive description holding exactly this track (see
  // notes on the library: a real multi-track TOC makes it read far past
  // the track). Never passed to cdda_close, which would free it.
  cdrom_drive& d = lib_->drive;
  std::memset(&d, 0, sizeof d);
  std::memset(&lib_->block, 0, sizeof lib_->block);
  lib_->block.clock = CLOCK_MONOTONIC;
  lib_->block.last_milliseconds = 6;  // below 6 the layer calls a progress callback
  d.opened = 1;
  d.cdda_fd = -1;
  d.ioctl_fd = -1;
  d.bigendianp = 0;
  d.nsectors = kMaxSectorsPerRead;
  d.errordest = CDDA_MESSAGE_FORGETIT;
  d.messagedest = CDDA_MESSAGE_FORGETIT;
  d.read_audio = RawRead;
  d.enable_cdda = NoOpOnOff;
  d.set_speed = NoOpOnOff;
  d.private_data = reinterpret_cast<cdda_private_data_t*>(&lib_->block);
  d.tracks = 1;
  d.disc_toc[0].bFlags = 0;
  d.disc_toc[0].bTrack = 1;
  d.disc_toc[0].dwStartSector = first_;
  d.disc_toc[1].bFlags = 0;
  d.disc_toc[1].bTrack = 0xAA;
  d.disc_toc[1].dwStartSector = last_ + 1;  // acts as the lead-out
  d.audio_first_sector = first_;
  d.audio_last_sector = last_;

  lib_->paranoia = paranoia_init(&d);
  paranoia_modeset(lib_->paranoia, jitter_correction ? kModeJitter : kModePlain);
  // The layer reads a whole cache model (1200 sectors by default) before it
  // hands out the first sector of it; a burst that size does not fit the
  // reader's pipe, so the drive would stand still while the encoder works
  // the burst off. A block smaller than the pipe keeps them overlapping.
  paranoia_cachemodel_size(lib_->paranoia, kCacheModelSectors);
  // For a one-track TOC the layer starts at 0 whatever the TOC says.
  TrackReader* previous = t_reader;
  t_reader = this;
  paranoia_seek(lib_->paranoia, first_, SEEK_SET);
  t_reader = previous;
}

TrackReader::~TrackReader() {
  if (lib_->paranoia) paranoia_free(lib_->paranoia);
}

bool TrackReader::Cancelled() const {
  const std::atomic<uint8_t>* flag = cancel_.load();
  return flag && flag->load() != 0;
}

long TrackReader::ReadSectors(void* buffer, long lba, long count) {
  if (abort_ || guard_tripped_) {
    errno = ENOMEDIUM;  // makes the layer give up on this read at once
    return -7;
  }
  if (++stalled_calls_ > kStallBudget) {
    guard_tripped_ = true;
    errno = ENOMEDIUM;
    return -7;
  }
  if (!buffer) {
    // A cache-defeating seek of one sector: keep it inside the track.
    lba = std::clamp<long>(lba, first_, last_);
    count = 1;
    buffer = scratch_.data();
  }
  // Never read outside the track, whatever is asked.
  if (lba < first_ || lba > last_ || count <= 0) {
    errno = EIO;
    return -7;
  }
  count = std::min<long>({count, kMaxSectorsPerRead, last_ - lba + 1});
  raw_sectors_ += count;
  const SenseCode sense =
      drive_.ReadCd(static_cast<int32_t>(lba), static_cast<uint8_t>(count), buffer);
  if (sense == 0)
    for (long i = 0; i < count; ++i) read_ok_[static_cast<size_t>(lba - first_ + i)] = true;
  if (Cancelled()) abort_ = 1;
  if (sense != 0) {
    errno = abort_ ? ENOMEDIUM : EIO;  // never a stale ENOMEDIUM otherwise
    return -7;
  }
  return count;
}

void TrackReader::SkipUnreadableSpot() {
  // The layer stalled at next_lba_: that sector goes out as silence; probe
  // forward one sector at a time for the next readable one and restart there.
  int32_t probe = next_lba_ + 1;
  while (probe <= last_) {
    if (Cancelled()) {
      abort_ = 1;
      return;
    }
    raw_sectors_ += 1;
    const SenseCode sense = drive_.ReadCd(probe, 1, scratch_.data());
    if (sense == 0) {
      read_ok_[static_cast<size_t>(probe - first_)] = true;
      break;
    }
    ++probe;
  }
  silence_until_ = probe;
  guard_silenced_ += probe - next_lba_;
  guard_tripped_ = false;
  stalled_calls_ = 0;
  if (probe <= last_) {
    TrackReader* previous = t_reader;
    t_reader = this;
    paranoia_seek(lib_->paranoia, probe, SEEK_SET);
    t_reader = previous;
  }
}

void TrackReader::ReadSector(uint8_t* out) {
  if (shift_bytes_ == 0) {
    FetchRaw(out);
    return;
  }
  // The delivered sector is the end of one raw sector and the start of the next.
  if (!primed_) {
    FetchRaw(carry_.data());
    primed_ = true;
  }
  const size_t head = size_t(kSectorBytes - shift_bytes_);
  std::memcpy(out, carry_.data() + shift_bytes_, head);
  FetchRaw(carry_.data());
  std::memcpy(out + head, carry_.data(), size_t(shift_bytes_));
}

void TrackReader::FetchRaw(uint8_t* out) {
  const int32_t lba = window_next_++;
  if (lba < first_ || lba > last_) {
    std::memset(out, 0, kSectorBytes);
    return;
  }
  ReadRaw(out);
}

void TrackReader::ReadRaw(uint8_t* out) {
  if (next_lba_ < silence_until_) {
    std::memset(out, 0, kSectorBytes);
    ++next_lba_;
    return;
  }
  TrackReader* previous = t_reader;
  t_reader = this;
  int16_t* sector = paranoia_read_limited(lib_->paranoia, nullptr, kRetriesWithoutProgress);
  t_reader = previous;
  if (!sector && !abort_ && guard_tripped_) {
    SkipUnreadableSpot();
    if (!abort_) {
      std::memset(out, 0, kSectorBytes);
      ++next_lba_;
      return;
    }
  }
  if (!sector || abort_) throw DVDCopyException();
  std::memcpy(out, sector, kSectorBytes);
  stalled_calls_ = 0;
  ++next_lba_;
}

int32_t TrackReader::unread_sectors() const {
  // Only the sectors delivered so far count.
  const auto delivered = std::min<size_t>(read_ok_.size(), size_t(std::max(next_lba_ - first_, 0)));
  const auto never_read = std::count(read_ok_.begin(), read_ok_.begin() + std::ptrdiff_t(delivered), false);
  return std::max(static_cast<int32_t>(never_read), guard_silenced_);
}

}  // namespace tonvik::cdrom
