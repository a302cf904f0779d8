// The disc-image drive: an MMC emulator over a CUE/BIN image, answering the
// commands the ripper sends with the data and fixed-format sense data a real
// drive would give, and showing the faults of its FaultPlan.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "cdrom/cue_image.h"
#include "cdrom/fault_plan.h"
#include "cdrom/scsi_transport.h"

namespace tonvik::cdrom {

// What the drive was asked, readable from any thread while it works.
struct ImageCounters {
  std::atomic<int64_t> read_cd_calls{0};
  std::atomic<int64_t> sectors_read{0};        // sectors of successful READ CDs
  std::atomic<int64_t> q_sectors_read{0};      // of those, read with the Q sub-channel
  std::atomic<int32_t> lowest_lba{INT32_MAX};  // over every READ CD asked for
  std::atomic<int32_t> highest_lba{-1};
  std::atomic<int64_t> start_stop_calls{0};
  std::atomic<int64_t> commands{0};
};

class ImageTransport : public ScsiTransport {
 public:
  ImageTransport(std::unique_ptr<CueImage> image, FaultPlan plan);
  // Loads the sheet and the fault file beside it. nullptr with *error set.
  static std::unique_ptr<ImageTransport> Open(const std::string& cue_path, std::string* error);

  bool Execute(const uint8_t* cdb, int cdb_length, int direction, void* buffer, uint32_t length,
               uint32_t timeout_seconds, uint8_t sense[18]) override;

  const CueImage& image() const { return *image_; }
  FaultPlan& plan() { return plan_; }
  std::shared_ptr<ImageCounters> counters() const { return counters_; }

 private:
  using Sense = int32_t;  // key << 16 | asc << 8 | ascq; 0 = success
  Sense Inquiry(const uint8_t* cdb, uint8_t* out, uint32_t length);
  Sense GetConfiguration(const uint8_t* cdb, uint8_t* out, uint32_t length);
  Sense ReadDiscInformation(const uint8_t* cdb, uint8_t* out, uint32_t length);
  Sense ReadToc(const uint8_t* cdb, uint8_t* out, uint32_t length);
  Sense ReadCd(const uint8_t* cdb, uint8_t* out, uint32_t length);
  Sense ReadSubChannel(const uint8_t* cdb, uint8_t* out, uint32_t length);
  Sense ReadCdText(const uint8_t* cdb, uint8_t* out, uint32_t length);
  Sense StartStop(const uint8_t* cdb);
  bool ReadShifted(int32_t lba, int32_t count, int32_t shift_bytes, uint8_t* out) const;
  bool NoMedium() const { return plan_.no_disc || tray_open_; }
  const CueTrack* TrackNumbered(int number) const;

 public:
  // The Q frame the disc carries at the sector: position frames with the
  // track and index the sheet gives (index 00 from the track's pregap on),
  // the lead-out between two sessions; in place of one of them in every 100
  // sectors the catalogue number (MCN) when the sheet has one, and in
  // another, inside a track that has one, its ISRC. The CRC is set, except
  // for the sectors the plan's `badq` spoils.
  void QFrameAt(int32_t lba, uint8_t q[12]) const;
  // The CD-Text packs of the sheet's TITLE, PERFORMER, SONGWRITER, CATALOG
  // and ISRC lines (block 0, ISO-8859-1); empty when it has none.
  const std::vector<uint8_t>& CdTextPacks() const { return cd_text_packs_; }

 private:
  void Throttle(int32_t sectors);

  std::unique_ptr<CueImage> image_;
  FaultPlan plan_;
  std::shared_ptr<ImageCounters> counters_ = std::make_shared<ImageCounters>();
  bool tray_open_ = false;
  int start_stops_ = 0;
  std::string catalog_;             // the sheet's CATALOG, "" for none or zeros
  std::vector<std::string> isrcs_;  // per track, the same way
  std::vector<uint8_t> cd_text_packs_;
  std::set<int32_t> jittered_starts_;  // request starts already served shifted
  std::set<int32_t> flipped_sectors_;  // sectors already served with flipped bits
  uint64_t noisy_reads_ = 0;           // sectors served with noise so far
  std::chrono::steady_clock::time_point busy_until_{};
};

}  // namespace tonvik::cdrom
