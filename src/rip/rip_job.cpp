#include "rip/rip_job.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <deque>
#include <map>
#include <optional>
#include <thread>

#include "accuraterip/disc_ids.h"
#include "accuraterip/disc_toc.h"
#include "accuraterip/offset_search.h"
#include "accuraterip/record_fetch.h"
#include "accuraterip/track_checksum.h"
#include "accuraterip/verdict.h"

#include "cdrom/cd_drive.h"
#include "cdrom/disc_check.h"
#include "cdrom/reader_thread.h"
#include "core/app_exception.h"
#include "core/settings.h"
#include "ctdb/verification.h"
#include "encoders/encoder.h"
#include "encoders/tag_data.h"
#include "lookup/disc_id.h"
#include "output/naming.h"
#include "output/utf8_to_wide.h"
#include "platform/pipe.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "rip/encoder_pool.h"
#include "rip/hidden_track.h"
#include "rip/job_observer.h"
#include "rip/rip_session.h"
#include "rip/secure_read.h"
#include "riplog/cue_sheet.h"
#include "riplog/log_file.h"
#include "riplog/rip_log.h"

namespace tonvik {
namespace {

using cdrom::BuildTrackMap;
using cdrom::CdDrive;
using cdrom::DriveOpenFailureMessage;
using cdrom::ReaderJob;
using cdrom::ReaderThreadMain;
using cdrom::TrackExtent;

constexpr uint32_t kChunkBytes = 61152;  // 26 sectors
constexpr int32_t kSectorBytes = 2352;
constexpr auto kReaderGrace = std::chrono::milliseconds(1000);
// The most PCM read ahead of the encoders: a long track is never held whole.
constexpr size_t kPcmBudget = size_t(160) << 20;
// How long a secure rip waits for the AccurateRip record before its first
// track (never beyond the record's own bound).
constexpr auto kSecureRecordGrace = std::chrono::milliseconds(2000);

std::u16string Ascii(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }

std::u16string TrackName(int track) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "Track %02d", track);
  return Ascii(buf);
}

std::u16string Decimal(long long v) { return Ascii(std::to_string(v).c_str()); }

// The largest absolute value of the 16-bit little-endian samples fed, in
// chunks of any size.
class PeakMeter {
 public:
  void Add(const uint8_t* data, size_t size) {
    size_t i = 0;
    if (has_low_ && size > 0) {
      Take(low_, data[0]);
      has_low_ = false;
      i = 1;
    }
    // Whole samples in blocks the compiler can vectorise: the meter sees
    // every byte of the rip.
    int32_t peak = peak_;
    for (; std::endian::native == std::endian::little && i + 64 <= size; i += 64) {
      int16_t block[32];
      std::memcpy(block, data + i, sizeof block);
      int32_t most = 0;
      for (const int16_t v : block) most = std::max(most, v < 0 ? -int32_t(v) : int32_t(v));
      peak = std::max(peak, most);
    }
    peak_ = peak;
    for (; i + 1 < size; i += 2) Take(data[i], data[i + 1]);
    if (i < size) {
      low_ = data[i];
      has_low_ = true;
    }
  }
  int32_t peak() const { return peak_; }

 private:
  void Take(uint8_t low, uint8_t high) {
    const int32_t v = static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8)));
    peak_ = std::max(peak_, v < 0 ? -v : v);
  }
  int32_t peak_ = 0;
  uint8_t low_ = 0;
  bool has_low_ = false;
};

// How the tracks of this job are read and summed: the drive's read offset and
// where it came from, the first sector the drive cannot be asked for, and
// the disc's audio tracks by TOC number (a data track has none, and is not
// summed).
struct ReadPlan {
  int32_t read_offset = 0;
  riplog::OffsetSource offset_source = riplog::OffsetSource::None;
  int32_t disc_end = INT32_MAX;
  std::optional<accuraterip::DiscToc> toc;
  std::map<int32_t, accuraterip::AudioTrack> audio;
  // The selection is every audio track in disc order: the CUETools database
  // sums the whole disc as one stream.
  bool whole_disc = false;
  // The hidden track before track 1, when the job rips it as track 0 (in
  // `audio` it is not: nothing sums it).
  std::optional<TrackExtent> hidden_track;
};

// The ReadOffset value under the user's key, if it is there.
std::optional<int32_t> ReadOffsetUnder(const std::u16string& key_path) {
  auto key = reg::Key::Open(reg::Root::CurrentUser, key_path);
  if (!key) return std::nullopt;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!key->Query(u"ReadOffset", &type, &data) || type != reg::kDword || data.size() != 4) return std::nullopt;
  return static_cast<int32_t>(data[0] | (data[1] << 8) | (data[2] << 16) | (uint32_t(data[3]) << 24));
}

// The drive by its INQUIRY identification; for a disc image also its path.
struct DriveIdentity {
  std::string vendor, product, revision;
  std::string image_path;
};

DriveIdentity IdentifyDrive(CdDrive& drive, char16_t letter) {
  DriveIdentity id;
  const std::string path = cdrom::DrivePath(letter);
  if (cdrom::IsCueSheetPath(path)) id.image_path = path;
  uint8_t inquiry[36] = {};
  if (!drive.IsOpen() || drive.Inquiry(inquiry) != 0) return id;
  auto field = [&](int from, int size) {
    std::string text(reinterpret_cast<const char*>(inquiry) + from, size_t(size));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.pop_back();
    return text;
  };
  id.vendor = field(8, 8);
  id.product = field(16, 16);
  id.revision = field(32, 4);
  return id;
}

// The read offset: the user's for the letter, else the one stored for the
// drive's model; detection may still fill it in (DetectReadOffset).
ReadPlan PlanReads(const cdrom::DiscState& disc, const DriveIdentity& id) {
  ReadPlan plan;
  if (auto offset = ReadOffsetUnder(DriveOptionsKey(disc.drive_letter))) {
    plan.read_offset = *offset;
    plan.offset_source = riplog::OffsetSource::User;
  } else if (!id.vendor.empty() || !id.product.empty()) {
    if (auto stored = ReadOffsetUnder(DriveModelKey(id.vendor, id.product))) {
      plan.read_offset = *stored;
      plan.offset_source = riplog::OffsetSource::Stored;
    }
  }
  plan.toc = accuraterip::DiscTocFromReadToc(disc.toc);
  if (plan.toc) {
    plan.disc_end = plan.toc->lead_out;
    for (const accuraterip::AudioTrack& t : accuraterip::AudioTracks(*plan.toc)) plan.audio[t.toc_number] = t;
  }
  // On an enhanced CD the drive's audio ends with the first session.
  if (auto session = cdrom::EnhancedAudioSession(disc.toc)) plan.disc_end = session->lead_out;
  std::vector<int32_t> in_order;
  for (const auto& [number, track] : plan.audio) in_order.push_back(number);
  plan.whole_disc = !in_order.empty() && disc.selection == in_order;
  return plan;
}

// The disc's AccurateRip record, fetched beside the rip from the start of the
// job. The job never waits for it beyond the bound counted from the start.
class RecordLookupInBackground {
 public:
  RecordLookupInBackground(const Settings& settings, const ReadPlan& plan, std::chrono::milliseconds bound)
      : deadline_(accuraterip::RecordFetch::Clock::now() + bound) {
    if (plan.toc && !plan.audio.empty()) ids_ = accuraterip::ComputeDiscIds(*plan.toc);
    if (!settings.AccurateRip) {
      skipped_ = true;
      return;
    }
    if (!plan.toc || plan.audio.empty()) return;
    fetch_.emplace(ids_, accuraterip::FetchOptions{.bound = bound});
  }

  // Waits for the record until the deadline (or `until`, when sooner) or a
  // cancel; the record, or none when it did not come.
  const accuraterip::RecordLookup* Await(const std::atomic<uint8_t>& cancel,
                                         std::optional<accuraterip::RecordFetch::Clock::time_point> until = {}) {
    using Clock = accuraterip::RecordFetch::Clock;
    if (!fetch_) return nullptr;
    const auto end = until ? std::min(*until, deadline_) : deadline_;
    while (!result_) {
      const auto now = Clock::now();
      if (cancel || now >= end) return nullptr;
      result_ = fetch_->WaitUntil(std::min(end, now + std::chrono::milliseconds(50)));
    }
    return &*result_;
  }
  // The record if it is in hand now; never waits.
  const accuraterip::RecordLookup* Peek() {
    if (!result_ && fetch_) result_ = fetch_->Result();
    return result_ ? &*result_ : nullptr;
  }

  // What came of it: after a cancelled job only what is there already,
  // otherwise what comes until the deadline.
  accuraterip::RecordLookup Take(bool cancelled) {
    using accuraterip::LookupStatus;
    if (skipped_) return {LookupStatus::Skipped, {}};
    if (result_) return *result_;
    if (!fetch_) return {LookupStatus::Unreachable, {}};
    auto result = cancelled ? fetch_->Result() : fetch_->WaitUntil(deadline_);
    fetch_.reset();  // ends a fetch that is still running
    return result ? *result : accuraterip::RecordLookup{LookupStatus::Unreachable, {}};
  }
  const accuraterip::DiscIds& ids() const { return ids_; }

 private:
  const accuraterip::RecordFetch::Clock::time_point deadline_;
  bool skipped_ = false;
  accuraterip::DiscIds ids_;
  std::optional<accuraterip::RecordFetch> fetch_;
  std::optional<accuraterip::RecordLookup> result_;  // once Await has it
};

// Finds the drive's read offset from the disc's record, when the record
// comes within its bound and knows the disc: reads the windows around
// sector 450 of the audio tracks, uncorrected, until two tracks agree. The
// offset found is stored for the drive's model; nothing is stored for a
// drive that does not say what it is.
void DetectReadOffset(CdDrive& drive, const DriveIdentity& id, const RipControl& control,
                      RecordLookupInBackground& lookup, ReadPlan& plan) {
  const accuraterip::RecordLookup* record = lookup.Await(control.cancel);
  if (!record || record->status != accuraterip::LookupStatus::Found) return;
  accuraterip::OffsetSearch search(*record);
  std::vector<uint8_t> window(size_t(accuraterip::kOffsetWindowSectors) * kSectorBytes);
  for (const auto& [number, track] : plan.audio) {
    if (control.cancel) return;
    const auto start = accuraterip::OffsetWindowStart(track);
    if (!start || !search.Knows(track.record_slot)) continue;
    if (drive.ReadCd(*start, uint8_t(accuraterip::kOffsetWindowSectors), window.data()) != 0) continue;
    search.AddTrack(track.record_slot, window.data());
    if (const auto offset = search.Offset()) {
      plan.read_offset = *offset;
      plan.offset_source = riplog::OffsetSource::Detected;
      if (!id.vendor.empty() || !id.product.empty()) {
        if (auto key = reg::Key::Create(reg::Root::CurrentUser, DriveModelKey(id.vendor, id.product)))
          key->SetDword(u"ReadOffset", uint32_t(*offset));
      }
      return;
    }
  }
}

// A reader thread and the state it shares with the job. The thread object is
// joined, never abandoned: a reader that does not stop within its grace time
// is parked and joined before the drive it uses is closed.
struct Reader {
  std::shared_ptr<ReaderJob> job;
  std::thread thread;

  bool Finished() const { return job->finished.load(); }
  // Waits up to the grace time for the reader to end.
  bool WaitFinished(std::chrono::milliseconds grace) const {
    auto until = std::chrono::steady_clock::now() + grace;
    while (!Finished()) {
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }
};

// Readers that outlived their track; joined at the end of the job.
class ReaderGraveyard {
 public:
  ~ReaderGraveyard() { JoinAll(); }
  void Bury(Reader&& r) {
    if (r.thread.joinable()) parked_.push_back(std::move(r.thread));
  }
  void JoinAll() {
    for (auto& t : parked_)
      if (t.joinable()) t.join();
    parked_.clear();
  }

 private:
  std::vector<std::thread> parked_;
};

// Redirects the reader's cancel pointer to a set flag, gives it the grace
// time, and joins it if it ended (else parks it).
void StopReader(Reader& reader, ReaderGraveyard& graveyard) {
  static const std::atomic<uint8_t> kStopped{1};
  if (!reader.job || !reader.thread.joinable()) return;
  if (!reader.Finished()) {
    reader.job->cancel_flag.store(&kStopped);
    reader.job->pause_event->Set();  // a paused reader must see the stop
    reader.WaitFinished(kReaderGrace);
  }
  if (reader.Finished())
    reader.thread.join();
  else
    graveyard.Bury(std::move(reader));
}

// The output folder of the job: the destination, with the artist and album
// sub-folders when the disc has titles and the options ask for them.
std::u16string PlanOutputFolder(const RipJob& job, const Settings& settings, const DiscMetadata& meta) {
  std::u16string folder = job.destination;
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  if (!meta.titles.empty()) {
    if (settings.CreateArtistSubfolder) folder += ExpandTemplate(meta, u"%1\\", 0);
    if (settings.CreateAlbumSubfolder) folder += ExpandTemplate(meta, u"%3\\", 0);
  }
  return folder;
}

// The record the tags are made from: the disc record with the codes the
// disc itself carries (none: the record as it is).
DiscMetadata TagRecord(const RipSession& session) {
  DiscMetadata record = session.metadata;
  const auto& extras = session.disc.extras;
  if (!extras) return record;
  record.catalog = extras->mcn;
  for (const cdrom::TrackExtras& t : extras->tracks) {
    if (t.isrc.empty() || t.number < 1) continue;
    if (record.isrcs.size() < size_t(t.number)) record.isrcs.resize(size_t(t.number));
    record.isrcs[size_t(t.number - 1)] = t.isrc;
  }
  return record;
}

// Reads the selected tracks one by one on the job's thread and hands their
// PCM to the encoder pool. Owns the state every track shares: the open drive,
// the output folder, the disc record the tags are made from, the readers that
// outlived their track, and the tracks whose encoding is not settled yet.
class TrackRipper {
 public:
  TrackRipper(RipSession& session, RipControl& control, RipObserver& observer, const Settings& settings,
              CdDrive& drive, ReaderGraveyard& graveyard, std::u16string folder, const ReadPlan& plan,
              ctdb::Verification* ctdb, EncoderPool& pool, RecordLookupInBackground& lookup)
      : session_(session),
        job_(session.job),
        control_(control),
        observer_(observer),
        settings_(settings),
        drive_(drive),
        graveyard_(graveyard),
        meta_(std::make_shared<const DiscMetadata>(TagRecord(session))),
        folder_(std::move(folder)),
        plan_(plan),
        ctdb_(ctdb),
        pool_(pool),
        lookup_(lookup) {}

  // Reads one track into its encoder, which a worker of the pool feeds and
  // finishes. Any failure is kept for the track, the job goes on; a failed
  // or cancelled track leaves no output of its own (the encoder discards its
  // unfinished file, an old file stays as it was). The track's entries of
  // the error list come once it is settled, in track order (Settle).
  //
  // How often the track is read depends on what AccurateRip can tell:
  // - with jitter correction, when the record is in hand and knows the
  //   track, a burst read first; verified, it is kept. Otherwise the track
  //   is read again with correction and compared, and that read is kept
  //   (ReadCarefully). Without the record, the corrected read alone;
  // - without jitter correction, one burst read; when the record is in hand
  //   by its end and says it is not accurate, a corrected read once more,
  //   kept only if that one is accurate.
  // A read that is dropped was encoded beside the other: its encoder is
  // abandoned, its file never takes the track's name.
  void Read(int32_t track, const TrackExtent& extent, size_t result_index) {
    TrackResult& result = session_.results[result_index];
    Pending pending{result_index, -1, {}, {}, {}};
    result.track = track;
    job_.track_done = 0;
    job_.track_bytes = static_cast<int32_t>(std::min<int64_t>(int64_t(extent.sector_count) * kSectorBytes, INT32_MAX));
    try {
      pending.name = FileName(track);
      pending.name += GetTargetExtension(session_.format.format_number);
      result.file = pending.name;
      const EncoderTarget target{folder_ + pending.name, session_.format, settings_.MP3ForceCBR != 0,
                                 &session_.overwrite};
      // A second encoder of the track: the overwrite question was asked for
      // the first.
      EncoderTarget again = target;
      again.overwrite = nullptr;
      auto encoder = [&](const EncoderTarget& t) {
        return CreateEncoder(t, CreateTagData(meta_, static_cast<uint32_t>(track - 1)));
      };
      const auto audio = plan_.audio.find(track);
      const bool verifiable = audio != plan_.audio.end() && settings_.AccurateRip &&
                              plan_.offset_source != riplog::OffsetSource::None;
      const bool secure = settings_.JitterCorrection != 0;
      const accuraterip::RecordLookup* record = secure && verifiable ? lookup_.Peek() : nullptr;
      const bool burst_first = record && accuraterip::RecordKnowsTrack(*record, audio->second.record_slot);
      result.read_path = secure && !burst_first ? TrackResult::ReadPath::Secure : TrackResult::ReadPath::Burst;
      // The CUETools CRCs before the track, for a read that is fed again.
      std::optional<ctdb::DiscCrc> before;
      if (ctdb_ && verifiable && (burst_first || !secure)) before = ctdb_->crcs();

      pending.handle = pool_.Begin(encoder(target));
      Pass first = ReadThrough(extent, secure && !burst_first, pending.handle, track, burst_first);
      result.sectors_asked = first.raw_sectors;
      if (!verifiable || (secure && !burst_first)) {
        pool_.End(pending.handle);
        Keep(result, first, secure ? TrackResult::ReadPath::Secure : TrackResult::ReadPath::Burst);
      } else if (secure) {
        if (Verdict(track, first) == accuraterip::Verdict::Accurate) {
          pool_.End(pending.handle);
          Keep(result, first, TrackResult::ReadPath::VerifiedBurst);
        } else {
          pool_.Abandon(pending.handle);
          pending.dropped.push_back(pending.handle);
          pending.handle = -1;
          if (before) ctdb_->RestoreCrcs(*before);
          pending.handle = pool_.Begin(encoder(again));
          const CarefulPass second = ReadCarefully(extent, pending.handle, track, first.hashes);
          result.sectors_asked += second.pass.raw_sectors;
          pool_.End(pending.handle);
          Keep(result, second.pass, TrackResult::ReadPath::Compared);
          result.sectors_differing = second.counts.differing;
          result.sectors_never_agreed = second.counts.never_agreed;
          result.sectors_replaced += second.counts.never_agreed;
        }
      } else {
        pool_.End(pending.handle);
        Keep(result, first, TrackResult::ReadPath::Burst);
        const accuraterip::RecordLookup* known = lookup_.Peek();
        if (known && Verdict(track, first) == accuraterip::Verdict::NotAccurate)
          RetryWithCorrection(extent, track, result, pending, encoder, again, before);
      }
    } catch (const AppException& e) {
      pending.errors.push_back(e.Message());
    } catch (...) {
      pending.errors.push_back(kMsgUnhandled);
    }
    if (!pending.errors.empty() && pending.handle >= 0) pool_.Abandon(pending.handle);
    pending_.push_back(std::move(pending));
    Settle(false);
  }

  // Lists the tracks whose encoding is over, in track order, up to the first
  // one still encoding; with `wait`, waits for every one, showing the one
  // being encoded.
  void Settle(bool wait) {
    while (!pending_.empty()) {
      Pending& p = pending_.front();
      if (p.handle >= 0 && !pool_.Outcome(p.handle).done) {
        if (!wait) return;
        ShowEncoding(p);
      }
      TrackResult& result = session_.results[p.result_index];
      // A dropped read's encoding came off the total bar's count.
      for (const int dropped : p.dropped) {
        while (!pool_.WaitDone(dropped, std::chrono::milliseconds(100))) {
        }
        job_.total_done -= uint32_t(std::min<int64_t>(pool_.Outcome(dropped).encoded, job_.total_done.load()));
      }
      p.dropped.clear();
      std::vector<std::u16string> errors = std::move(p.errors);
      if (p.handle >= 0 && errors.empty()) {
        const EncodeOutcome outcome = pool_.Outcome(p.handle);
        result.written = outcome.written;
        if (outcome.cancelled) errors.push_back(kMsgCanceled);
        errors.insert(errors.end(), outcome.errors.begin(), outcome.errors.end());
        if (outcome.written && result.sectors_replaced > 0)
          errors.push_back(FormatMessage(kMsgSilenced, {Decimal(result.sectors_replaced)}));
      }
      for (const std::u16string& e : errors) {
        result.errors.push_back(e);
        observer_.AddError(p.name + u": " + e);
      }
      pending_.pop_front();
    }
  }

 private:
  // A track read and handed over, its entries of the list not yet made.
  struct Pending {
    size_t result_index;
    int handle;                          // in the pool; -1 when no encoder was made
    std::vector<std::u16string> errors;  // of the reading, listed before the encoder's
    std::u16string name;                 // as the list names the track: the file name, as far as it was made
    std::vector<int> dropped;            // in the pool: reads of the track that were not kept
  };

  // What one read of a track gave: the sums of what went into its encoder
  // and how much was read.
  struct Pass {
    accuraterip::TrackSums sums{};
    bool summed = false;
    int32_t peak = 0;
    int64_t sectors_read = 0;  // handed to the encoder
    int32_t unread = 0;        // went out as silence
    int64_t raw_sectors = 0;   // asked of the drive
    std::vector<uint64_t> hashes;  // SectorHash of every sector, when asked for
  };
  struct CarefulPass {
    Pass pass;
    AgreementCounts counts;
  };

  // Where one read's PCM goes on its way to the encoder: the AccurateRip
  // sums (an audio track), the CUETools CRCs (a whole-disc rip), the peak
  // and, when asked, every sector's fingerprint.
  class Feed {
   public:
    Feed(const ReadPlan& plan, int32_t track, ctdb::Verification* ctdb, bool fingerprints)
        : ctdb_(ctdb), fingerprints_(fingerprints) {
      const auto audio = plan.audio.find(track);
      if (audio != plan.audio.end()) sums_.emplace(audio->second.first, audio->second.last);
      if (!sums_) ctdb_ = nullptr;
    }
    void Add(const uint8_t* data, size_t size) {
      if (sums_) sums_->Add(data, size);
      if (ctdb_) ctdb_->Add(data, size);
      peak_.Add(data, size);
      if (fingerprints_)
        for (size_t at = 0; at + kSectorBytes <= size; at += kSectorBytes) hashes_.push_back(SectorHash(data + at));
    }
    void Into(Pass& pass) {
      if (sums_) {
        pass.sums = sums_->Finish();
        pass.summed = true;
      }
      pass.peak = peak_.peak();
      pass.hashes = std::move(hashes_);
    }

   private:
    std::optional<accuraterip::TrackChecksum> sums_;
    ctdb::Verification* ctdb_;
    const bool fingerprints_;
    PeakMeter peak_;
    std::vector<uint64_t> hashes_;
  };

  // Reads the track through a reader thread into the encoder `handle`, with
  // or without jitter correction. Throws "Canceled." or the read error.
  Pass ReadThrough(const TrackExtent& extent, bool jitter_correction, int handle, int32_t track, bool fingerprints) {
    Pass pass;
    Reader reader;
    struct Stop {
      TrackRipper& self;
      Reader& reader;
      ~Stop() { StopReader(reader, self.graveyard_); }
    } stop{*this, reader};
    RestartTrackBar();
    auto pipe = std::make_shared<Pipe>(static_cast<size_t>(job_.track_bytes.load()));
    if (!pipe->ok()) throw AppException(kMsgPipeReadError);
    StartReader(reader, pipe, extent, jitter_correction);
    Feed feed(plan_, track, ctdb_, fingerprints);
    Pump(*pipe, reader, handle, feed);
    pass.sectors_read = job_.track_done.load() / kSectorBytes;
    StopReader(reader, graveyard_);
    if (control_.cancel) throw AppException(kMsgCanceled);
    if (reader.job->error_flag) throw AppException(kMsgCdReadError);
    pass.unread = reader.job->unread_sectors.load();
    pass.raw_sectors = reader.job->raw_sectors_read.load();
    feed.Into(pass);
    return pass;
  }

  // The careful read: with correction, compared with the burst read's
  // fingerprints, on this thread (no reader thread is running). Throws like
  // ReadThrough.
  CarefulPass ReadCarefully(const TrackExtent& extent, int handle, int32_t track,
                            const std::vector<uint64_t>& earlier) {
    CarefulPass result;
    RestartTrackBar();
    Feed feed(plan_, track, ctdb_, false);
    const CarefulReadJob job{&drive_, extent.first_sector, extent.sector_count, plan_.read_offset,
                             plan_.disc_end, &control_.cancel, control_.pause.get()};
    const CarefulRead read = ReadComparing(job, earlier, [&](const uint8_t* data, size_t size) {
      control_.pause->Wait();
      if (control_.cancel) return false;
      feed.Add(data, size);
      PcmChunk chunk = pool_.Buffer(size);
      std::memcpy(chunk.data(), data, size);
      if (!pool_.Push(handle, std::move(chunk))) return false;
      job_.track_done += static_cast<int32_t>(size);
      observer_.TrackProgress(job_.track_done.load());
      return true;
    });
    if (control_.cancel || read.cancelled) throw AppException(kMsgCanceled);
    if (read.failed) throw AppException(kMsgCdReadError);
    result.pass.sectors_read = job_.track_done.load() / kSectorBytes;
    result.pass.unread = read.unread;
    result.pass.raw_sectors = read.raw_sectors;
    result.counts = read.counts;
    feed.Into(result.pass);
    return result;
  }

  // The burst read was not accurate: reads the track once more with jitter
  // correction into a second encoder, and keeps that read only if it is
  // accurate. The first read's file is already in place under the track's
  // name; the second's replaces it once the first is written. A second read
  // that is not kept leaves the first as it was, even when it was
  // cancelled: the first is a whole track.
  template <typename MakeEncoder>
  void RetryWithCorrection(const TrackExtent& extent, int32_t track, TrackResult& result, Pending& pending,
                           MakeEncoder& encoder, const EncoderTarget& again,
                           const std::optional<ctdb::DiscCrc>& before) {
    std::optional<ctdb::DiscCrc> after;
    if (before) {
      after = ctdb_->crcs();
      ctdb_->RestoreCrcs(*before);
    }
    int second = -1;
    try {
      second = pool_.Begin(encoder(again));
      const Pass pass = ReadThrough(extent, true, second, track, false);
      result.sectors_asked += pass.raw_sectors;
      if (Verdict(track, pass) == accuraterip::Verdict::Accurate) {
        // The first read's file must be in place before this one replaces it.
        while (!pool_.WaitDone(pending.handle, std::chrono::milliseconds(100))) {
        }
        pool_.End(second);
        pending.dropped.push_back(pending.handle);
        pending.handle = second;
        Keep(result, pass, TrackResult::ReadPath::RetryKept);
        return;
      }
      result.read_path = TrackResult::ReadPath::RetryRejected;
    } catch (...) {
      result.read_path = TrackResult::ReadPath::RetryStopped;
    }
    if (second >= 0) {
      pool_.Abandon(second);
      pending.dropped.push_back(second);
    }
    if (after) ctdb_->RestoreCrcs(*after);
  }

  // The track's result is the kept read's.
  static void Keep(TrackResult& result, const Pass& pass, TrackResult::ReadPath path) {
    result.read_path = path;
    result.sectors_read = pass.sectors_read;
    result.sectors_replaced = pass.unread;
    result.peak = pass.peak;
    result.summed = pass.summed;
    result.ar_v1 = pass.sums.v1;
    result.ar_v2 = pass.sums.v2;
    result.copy_crc = pass.sums.crc32;
  }

  // What the record in hand says of a read of the track.
  accuraterip::Verdict Verdict(int32_t track, const Pass& pass) {
    const accuraterip::RecordLookup* record = lookup_.Peek();
    const auto audio = plan_.audio.find(track);
    if (!record || audio == plan_.audio.end() || !pass.summed) return accuraterip::Verdict::Unreachable;
    return accuraterip::VerifyTrack(*record, audio->second.record_slot, pass.sums.v1, pass.sums.v2).verdict;
  }

  // A second read of a track starts the track's bar again.
  void RestartTrackBar() {
    if (job_.track_done.exchange(0) != 0) observer_.ResetTrackBar(job_.track_bytes);
  }

  // The track's file name without its extension; shows the track in the
  // dialog.
  std::u16string FileName(int32_t track) {
    const std::u16string name = BaseName(track);
    observer_.SetCurrentTrackText(u"Current: " + DisplayName(track, name));
    observer_.ResetTrackBar(job_.track_bytes);
    return name;
  }
  std::u16string BaseName(int32_t track) const {
    const DiscMetadata& meta = *meta_;
    std::u16string name;
    if (!meta.titles.empty()) name = ExpandTemplate(meta, settings_.NameTemplate, track - 1);
    if (name.empty()) name = TrackName(track);
    return name;
  }
  std::u16string DisplayName(int32_t track, const std::u16string& name) const {
    const DiscMetadata& meta = *meta_;
    if (!meta.titles.empty() && size_t(track - 1) < meta.titles.size())
      return Utf8ToWide(meta.titles[track - 1].c_str());
    return name;
  }

  // Shows the track that is still encoding once the reading is over, its
  // bar following the encoder, until it is done.
  void ShowEncoding(const Pending& p) {
    const TrackResult& result = session_.results[p.result_index];
    observer_.SetCurrentTrackText(u"Current: " + DisplayName(result.track, BaseName(result.track)) + u" (encoding)");
    job_.track_bytes = static_cast<int32_t>(std::min<int64_t>(result.sectors_read * kSectorBytes, INT32_MAX));
    observer_.ResetTrackBar(job_.track_bytes);
    while (!pool_.WaitDone(p.handle, std::chrono::milliseconds(100)))
      job_.track_done = static_cast<int32_t>(std::min<int64_t>(pool_.Outcome(p.handle).encoded, INT32_MAX));
    job_.track_done = job_.track_bytes.load();
  }

  void StartReader(Reader& reader, std::shared_ptr<Pipe> pipe, const TrackExtent& extent, bool jitter_correction) {
    reader.job = std::make_shared<ReaderJob>();
    reader.job->drive = &drive_;
    reader.job->first_sector = extent.first_sector;
    reader.job->sector_count = extent.sector_count;
    reader.job->jitter_correction = jitter_correction;
    reader.job->read_offset = plan_.read_offset;
    reader.job->disc_end = plan_.disc_end;
    reader.job->pipe = std::move(pipe);
    reader.job->pause_event = control_.pause;
    reader.job->cancel_flag.store(&control_.cancel);
    reader.thread = std::thread(control_.reader ? control_.reader : ReaderThreadMain, reader.job);
  }

  // Hands the reader's PCM to the track's encoder in chunks of 26 sectors
  // until the track ends, the reader fails, or the job is cancelled (waiting
  // while it is paused, or while the encoders hold as much PCM as they may).
  // Every chunk but the track's last is whole, however the pipe delivers:
  // an encoder that decides by what it has been given so far (Vorbis)
  // writes the same file every time. The PCM goes through the feed on its
  // way.
  void Pump(Pipe& pipe, Reader& reader, int handle, Feed& feed) {
    // A pipe with room for two chunks is read a chunk at a time, once the
    // reader has written it. A smaller one is read as it comes: the reader
    // might find it full before a chunk is in (the kernel keeps the sectors
    // in whole pages) and wait on the job while the job waits on it.
    const bool whole_chunks = pipe.capacity() >= 2 * kChunkBytes;
    int64_t taken = 0;  // bytes read from the pipe
    for (;;) {
      if (whole_chunks)
        reader.job->written.WaitFor(int32_t((taken + kChunkBytes) / kSectorBytes), kReaderGrace);
      PcmChunk chunk = pool_.Buffer(kChunkBytes);
      size_t n = 0;
      while (n < chunk.size()) {
        const ssize_t got = pipe.Read(chunk.data() + n, chunk.size() - n);
        if (got < 0) {
          if (errno == EPIPE) break;
          throw AppException(kMsgPipeReadError);
        }
        if (got == 0 || reader.job->error_flag) break;
        n += size_t(got);
      }
      if (n == 0 || reader.job->error_flag) return;
      taken += int64_t(n);
      control_.pause->Wait();
      if (control_.cancel) {
        pipe.CloseRead();
        return;
      }
      chunk.resize(size_t(n));
      feed.Add(chunk.data(), chunk.size());
      if (!pool_.Push(handle, std::move(chunk))) {
        pipe.CloseRead();
        return;
      }
      job_.track_done += static_cast<int32_t>(n);
      observer_.TrackProgress(job_.track_done.load());
    }
  }

  RipSession& session_;
  RipJob& job_;
  RipControl& control_;
  RipObserver& observer_;
  const Settings& settings_;
  CdDrive& drive_;
  ReaderGraveyard& graveyard_;
  const std::shared_ptr<const DiscMetadata> meta_;
  const std::u16string folder_;
  const ReadPlan& plan_;
  ctdb::Verification* const ctdb_;  // fed the whole disc's audio, or null
  EncoderPool& pool_;
  RecordLookupInBackground& lookup_;
  std::deque<Pending> pending_;     // in track order
};

// Whether the CUETools database's answer confirms the audio track (0-based
// among the audio tracks).
bool CtdbVerifies(const ctdb::DiscVerdict& verdict, int index) {
  return verdict.status == ctdb::LookupStatus::Found && index >= 0 && size_t(index) < verdict.tracks.size() &&
         verdict.tracks[size_t(index)].confidence > 0;
}

// Whether the disc carries anything besides its audio that its files, log
// and sheet tell of: a catalogue number, an ISRC, a pregap or CD-Text.
bool CarriesExtras(const std::optional<cdrom::DiscExtras>& extras) {
  if (!extras) return false;
  if (extras->mcn_found || extras->isrc_found || extras->cd_text_found) return true;
  return std::any_of(extras->tracks.begin(), extras->tracks.end(),
                     [](const cdrom::TrackExtras& t) { return t.pregap_known && t.pregap_sectors > 0; });
}

const cdrom::TrackExtras* TrackExtrasOf(const std::optional<cdrom::DiscExtras>& extras, int32_t track) {
  if (!extras) return nullptr;
  for (const cdrom::TrackExtras& t : extras->tracks)
    if (t.number == track) return &t;
  return nullptr;
}

// How the track was read, as its block in the log says it.
std::string ReadingNote(const TrackResult& r) {
  using Path = TrackResult::ReadPath;
  const bool known = r.verdict.verdict == accuraterip::Verdict::Accurate ||
                     r.verdict.verdict == accuraterip::Verdict::NotAccurate;
  switch (r.read_path) {
    case Path::Burst:
      return "burst read";
    case Path::Secure:
      return known ? "secure read" : "secure read, not verified";
    case Path::VerifiedBurst:
      return "burst read, verified by AccurateRip";
    case Path::Compared:
      if (r.sectors_differing == 0) return "burst read not accurate; secure re-read: test and copy CRCs match";
      return "burst read not accurate; secure re-read: " + std::to_string(r.sectors_differing) + " sectors re-read, " +
             std::to_string(r.sectors_never_agreed) + " never agreed";
    case Path::RetryKept:
      return "burst read not accurate; re-read with jitter correction: accurate, kept";
    case Path::RetryRejected:
      return "burst read not accurate; re-read with jitter correction: not accurate either, the first read kept";
    case Path::RetryStopped:
      return "burst read not accurate; the re-read with jitter correction was stopped, the first read kept";
  }
  return {};
}

// Everything the job knows of the rip, for its log.
riplog::RipLog MakeLog(const RipSession& session, const Settings& settings, const ReadPlan& plan,
                       const accuraterip::DiscIds& ids, const std::optional<ctdb::DiscVerdict>& ctdb,
                       std::chrono::system_clock::time_point started, bool cancelled, const DriveIdentity& drive) {
  riplog::RipLog log;
  log.date = started;
  if (!drive.image_path.empty()) {
    log.image_path = drive.image_path;
  } else {
    log.drive_vendor = drive.vendor;
    log.drive_product = drive.product;
    log.drive_revision = drive.revision;
  }
  log.read_mode = settings.JitterCorrection ? riplog::ReadMode::JitterCorrection : riplog::ReadMode::Burst;
  log.read_offset = plan.read_offset;
  log.offset_source = plan.offset_source;
  log.artist = session.metadata.artist;
  log.album = session.metadata.album;
  const auto extents = BuildTrackMap(session.disc.toc);
  if (plan.toc) {
    const auto& tracks = plan.toc->tracks;
    for (size_t i = 0; i < tracks.size(); ++i) {
      riplog::LogTocEntry entry{tracks[i].number, tracks[i].start, 0, !tracks[i].data};
      const auto audio = plan.audio.find(tracks[i].number);
      if (audio != plan.audio.end())
        entry.length = audio->second.sectors;
      else
        entry.length = (i + 1 < tracks.size() ? tracks[i + 1].start : plan.toc->lead_out) - tracks[i].start;
      log.toc.push_back(entry);
    }
  }
  log.disc_ids = ids;
  try {
    log.musicbrainz_id = lookup::DiscIdFromToc(session.disc.toc);
  } catch (const AppException&) {
    // the log says it has none
  }
  if (ctdb) log.ctdb_lines = ctdb::DiscLines(*ctdb);
  const bool extras = CarriesExtras(session.disc.extras);
  if (extras) log.disc_extras = riplog::LogDiscExtras{session.disc.extras->mcn, session.disc.extras->cd_text_found};
  for (const TrackResult& r : session.results) {
    riplog::LogTrack t;
    t.number = r.track;
    if (r.written) t.file = ToUtf8(r.file);
    if (auto e = extents.find(r.track); e != extents.end()) {
      t.start = e->second.first_sector;
      t.length = e->second.sector_count;
    }
    if (r.track == 0 && plan.hidden_track) {
      t.hidden = true;
      t.length = plan.hidden_track->sector_count;
    }
    t.sectors_read = r.sectors_read;
    t.sectors_replaced = r.sectors_replaced;
    t.sectors_asked = r.sectors_asked;
    t.reading = ReadingNote(r);
    t.peak = r.peak;
    t.copy_crc = r.copy_crc;
    t.ar_v1 = r.ar_v1;
    t.ar_v2 = r.ar_v2;
    t.verdict = r.verdict;
    if (const cdrom::TrackExtras* x = extras ? TrackExtrasOf(session.disc.extras, r.track) : nullptr) {
      t.isrc = x->isrc;
      if (x->pregap_known) t.pregap_sectors = x->pregap_sectors;
    }
    if (ctdb) {
      if (const auto audio = plan.audio.find(r.track); audio != plan.audio.end()) {
        const int index = audio->second.index - 1;
        t.ctdb_line = ctdb::TrackLine(*ctdb, index).value_or("");
        t.ctdb_accurate = CtdbVerifies(*ctdb, index);
      }
    }
    log.tracks.push_back(std::move(t));
  }
  log.cancelled = cancelled;
  return log;
}

// The CUE sheet of a rip of the whole disc: every track written, every
// track of the disc an audio track (a data track has no file), and a disc
// that carries something a sheet tells of (codes, pregaps, CD-Text, a hidden
// track ripped before track 1); a disc without any of it gets no sheet, so
// its folder holds what it always did.
std::optional<riplog::CueSheet> MakeCueSheet(const RipSession& session, const ReadPlan& plan) {
  const cdrom::DiscExtras none;
  const cdrom::DiscExtras* extras = session.disc.extras ? &*session.disc.extras : &none;
  // A hidden track is something only a sheet tells of too.
  if (!plan.whole_disc || !plan.toc || !(CarriesExtras(session.disc.extras) || plan.hidden_track))
    return std::nullopt;
  for (const auto& t : plan.toc->tracks)
    if (t.data) return std::nullopt;
  if (session.results.size() != session.disc.selection.size() + (plan.hidden_track ? 1 : 0)) return std::nullopt;
  const auto extents = BuildTrackMap(session.disc.toc);
  riplog::CueSheet sheet;
  sheet.catalog = extras->mcn;
  if (extras->cd_text_found) {
    sheet.title = extras->cd_text.album_title;
    sheet.performer = extras->cd_text.album_performer;
  }
  for (const TrackResult& r : session.results) {
    if (r.track == 0 && plan.hidden_track) {
      if (!r.written) return std::nullopt;
      sheet.hidden_file = ToUtf8(r.file);
      continue;
    }
    const auto extent = extents.find(r.track);
    if (!r.written || extent == extents.end()) return std::nullopt;
    riplog::CueTrack t;
    t.number = r.track;
    t.file = ToUtf8(r.file);
    t.sectors = extent->second.sector_count;
    if (const cdrom::TrackExtras* x = TrackExtrasOf(session.disc.extras, r.track)) {
      t.isrc = x->isrc;
      if (x->pregap_known) t.pregap = x->pregap_sectors;
    }
    if (const auto text = extras->cd_text.tracks.find(r.track);
        extras->cd_text_found && text != extras->cd_text.tracks.end()) {
      t.title = text->second.title;
      t.performer = text->second.performer;
    }
    sheet.tracks.push_back(std::move(t));
  }
  return sheet;
}

}  // namespace

std::u16string DriveOptionsKey(char16_t letter) {
  return std::u16string(kProductKey) + u"\\Drives\\" + letter;
}

std::u16string DriveModelKey(const std::string& vendor, const std::string& product) {
  std::u16string name = FromUtf8(vendor + " " + product);
  for (char16_t& c : name)
    if (c == u'\\' || c < 0x20) c = u'_';
  return std::u16string(kProductKey) + u"\\Drive models\\" + name;
}

void RunRipJob(RipSession& session, RipControl& control, RipObserver& observer) {
  Settings settings;
  const auto started = std::chrono::system_clock::now();
  RipJob& job = session.job;
  const cdrom::DiscState& disc = session.disc;
  const auto track_map = BuildTrackMap(disc.toc);
  auto extent = [&](int32_t track) {
    auto it = track_map.find(track);
    return it == track_map.end() ? TrackExtent{0, 0} : it->second;
  };

  int64_t total = 0;
  for (int32_t t : disc.selection) total += int64_t(extent(t).sector_count) * kSectorBytes;
  // A checked TOC keeps a disc within 100 minutes (about 1 GB); the counters
  // are 32 bits, so anything larger is held at their limit rather than wrap.
  job.total_bytes = static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
  job.total_done = 0;
  observer.ResetTotalBar(job.total_bytes);

  CdDrive drive;
  ReaderGraveyard graveyard;
  const bool drive_open = drive.Open(disc.drive_letter);
  const int open_error = errno;
  const std::u16string folder = PlanOutputFolder(job, settings, session.metadata);
  session.results.clear();
  const DriveIdentity identity = IdentifyDrive(drive, disc.drive_letter);
  ReadPlan plan = PlanReads(disc, identity);
  RecordLookupInBackground record_lookup(settings, plan, control.accuraterip_bound);
  // The CUETools database, asked beside AccurateRip within the same bound,
  // sums the rip when it holds the whole disc.
  const auto verify_deadline = ctdb::Verification::Clock::now() + control.accuraterip_bound;
  std::optional<ctdb::Verification> ctdb_check;
  if (settings.AccurateRip && settings.CTDB && plan.toc && !plan.audio.empty())
    ctdb_check.emplace(*plan.toc, ctdb::FetchOptions{.bound = control.accuraterip_bound});
  // A drive whose offset nobody knows waits for the record to find it: a
  // rip at the wrong offset could never be verified.
  if (drive_open && plan.offset_source == riplog::OffsetSource::None)
    DetectReadOffset(drive, identity, control, record_lookup, plan);
  // A rip of the whole disc also keeps what the disc holds before track 1,
  // read at the offset the tracks are read at.
  if (drive_open && settings.RipHiddenTrack && plan.whole_disc && plan.toc) {
    plan.hidden_track = FindHiddenTrack(drive, *plan.toc, plan.read_offset, control.cancel);
    if (plan.hidden_track) {
      total += int64_t(plan.hidden_track->sector_count) * kSectorBytes;
      job.total_bytes = static_cast<int32_t>(std::min<int64_t>(total, INT32_MAX));
      observer.ResetTotalBar(job.total_bytes);
    }
  }
  // A secure rip reads a track in burst first only when the record is in
  // hand as the track starts: it gives the record a moment before the
  // first track (the lookup usually answers well within it).
  if (drive_open && settings.JitterCorrection && plan.offset_source != riplog::OffsetSource::None)
    record_lookup.Await(control.cancel, accuraterip::RecordFetch::Clock::now() + kSecureRecordGrace);

  if (!drive_open) {
    // Without the drive every read would fail and the job would write silence.
    observer.AddError(DriveOpenFailureMessage(open_error, drive.open_detail()));
  } else {
    // Finished tracks are encoded on up to EncoderThreads workers while the
    // drive reads on; the PCM waiting for them stays within kPcmBudget.
    EncoderPool pool(EncoderThreadCount(settings.EncoderThreads), kPcmBudget, kChunkBytes,
                     {&control.cancel, control.pause, &job.total_done});
    TrackRipper ripper(session, control, observer, settings, drive, graveyard, folder, plan,
                       ctdb_check && plan.whole_disc ? &*ctdb_check : nullptr, pool, record_lookup);
    // Sized once: the workers' results stay where they are.
    session.results.reserve(disc.selection.size() + (plan.hidden_track ? 1 : 0));
    if (plan.hidden_track && !control.cancel) {
      session.results.emplace_back();
      ripper.Read(0, *plan.hidden_track, 0);
    }
    for (int32_t track : disc.selection) {
      if (control.cancel) break;
      session.results.emplace_back();
      ripper.Read(track, extent(track), session.results.size() - 1);
    }
    ripper.Settle(true);
  }

  graveyard.JoinAll();

  // Verification. Without a record of the disc there is nothing to verify:
  // the list has no verdicts, and the log says why.
  const accuraterip::RecordLookup record = record_lookup.Take(control.cancel != 0);
  std::optional<ctdb::DiscVerdict> ctdb_verdict;
  if (ctdb_check) {
    if (control.cancel) ctdb_check->Cancel();
    ctdb_verdict = ctdb_check->Finish(control.cancel ? ctdb::Verification::Clock::now() : verify_deadline);
  }
  for (TrackResult& r : session.results) {
    const auto audio = plan.audio.find(r.track);
    if (!r.summed || audio == plan.audio.end()) continue;
    r.verdict = accuraterip::VerifyTrack(record, audio->second.record_slot, r.ar_v1, r.ar_v2);
    r.ctdb_verified = ctdb_verdict && CtdbVerifies(*ctdb_verdict, audio->second.index - 1);
    // A track the CUETools database verifies is no error, whatever
    // AccurateRip says; the log tells of the disagreement.
    // A track without a file (cancelled, failed) has no rip to judge.
    if (r.verdict.verdict == accuraterip::Verdict::NotAccurate && !r.ctdb_verified && r.written) {
      r.errors.push_back(kMsgNotAccurate);
      observer.AddError(r.file + u": " + kMsgNotAccurate);
    }
  }
  // The log sits beside the files it tells of: a rip that wrote none has none.
  const bool wrote = std::any_of(session.results.begin(), session.results.end(),
                                 [](const TrackResult& r) { return r.written; });
  if (wrote) {
    const riplog::RipLog log =
        MakeLog(session, settings, plan, record_lookup.ids(), ctdb_verdict, started, control.cancel != 0, identity);
    const std::string log_folder = ToUtf8(folder);
    if (settings.WriteLog) {
      std::string error;
      std::error_code ec;
      std::filesystem::create_directories(log_folder, ec);  // a job whose every track failed made none
      if (!riplog::WriteLog(log, log_folder, &error))
        observer.AddError(FormatMessage(kMsgLogNotWritten, {FromUtf8(error)}));
    }
    // The sheet, named like the log, beside it.
    const auto sheet = settings.WriteCueSheet && !control.cancel ? MakeCueSheet(session, plan) : std::nullopt;
    if (sheet) {
      std::string error;
      if (!riplog::WriteLogText(riplog::RenderCueSheet(*sheet), riplog::LogFileStem(log), log_folder, &error, ".cue"))
        observer.AddError(FormatMessage(kMsgCueNotWritten, {FromUtf8(error)}));
    }
  }
  if (settings.EjectWhenDone && drive_open) drive.Eject();
  if (settings.BeepWhenDone) observer.PlayCompletionSound();
  if (settings.OpenFolderWhenDone && !control.cancel && drive_open) observer.OpenOutputFolder(folder);
  observer.JobFinished();
  drive.Close();
}

}  // namespace tonvik
