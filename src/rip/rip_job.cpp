#include "rip/rip_job.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <map>
#include <thread>

#include "cdrom/cd_drive.h"
#include "cdrom/disc_check.h"
#include "cdrom/reader_thread.h"
#include "core/app_exception.h"
#include "core/settings.h"
#include "encoders/encoder.h"
#include "encoders/tag_data.h"
#include "output/naming.h"
#include "output/utf8_to_wide.h"
#include "platform/pipe.h"
#include "rip/job_observer.h"
#include "rip/rip_session.h"

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

std::u16string Ascii(const char* s) { return std::u16string(s, s + std::char_traits<char>::length(s)); }

std::u16string TrackName(int track) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "Track %02d", track);
  return Ascii(buf);
}

std::u16string Decimal(long long v) { return Ascii(std::to_string(v).c_str()); }

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

// Rips the selected tracks one by one on the job's thread. Owns the state
// every track shares: the open drive, the output folder, the disc record the
// tags are made from and the readers that outlived their track.
class TrackRipper {
 public:
  TrackRipper(RipSession& session, RipControl& control, RipObserver& observer, const Settings& settings,
              CdDrive& drive, ReaderGraveyard& graveyard, std::u16string folder)
      : session_(session),
        job_(session.job),
        control_(control),
        observer_(observer),
        settings_(settings),
        drive_(drive),
        graveyard_(graveyard),
        meta_(std::make_shared<const DiscMetadata>(session.metadata)),
        folder_(std::move(folder)) {}

  // One track, start to end, into `result`. Any failure is listed for the
  // track and the job goes on; a failed or cancelled track leaves no output
  // of its own (the encoder discards its unfinished file, an old file stays
  // as it was).
  void Rip(int32_t track, const TrackExtent& extent, TrackResult& result) {
    std::unique_ptr<CEncoder> encoder;
    Reader reader;
    std::u16string file_name;
    result.track = track;
    job_.track_done = 0;
    job_.track_bytes = static_cast<int32_t>(std::min<int64_t>(int64_t(extent.sector_count) * kSectorBytes, INT32_MAX));
    auto list = [&](const std::u16string& message) {
      result.errors.push_back(message);
      observer_.AddError(file_name + u": " + message);
    };
    try {
      file_name = FileName(track);
      file_name += GetTargetExtension(session_.format.format_number);
      result.file = file_name;
      const EncoderTarget target{folder_ + file_name, session_.format, settings_.MP3ForceCBR != 0,
                                 &session_.overwrite};
      encoder = CreateEncoder(target, CreateTagData(meta_, static_cast<uint32_t>(track - 1)));
      auto pipe = std::make_shared<Pipe>(static_cast<size_t>(job_.track_bytes.load()));
      if (!pipe->ok()) throw AppException(kMsgPipeReadError);
      StartReader(reader, pipe, extent);
      Pump(*pipe, reader, *encoder);
      result.sectors_read = job_.track_done.load() / kSectorBytes;
      StopReader(reader, graveyard_);
      if (control_.cancel) throw AppException(kMsgCanceled);
      if (reader.job->error_flag) throw AppException(kMsgCdReadError);

      observer_.SetCurrentTrackText(observer_.CurrentTrackText() + u" (encoding)");
      encoder->Finish();
      encoder.reset();
      result.written = true;
      result.sectors_replaced = reader.job->unread_sectors.load();
      if (result.sectors_replaced > 0) list(FormatMessage(kMsgSilenced, {Decimal(result.sectors_replaced)}));
    } catch (const AppException& e) {
      list(e.Message());
    } catch (...) {
      list(kMsgUnhandled);
    }
    StopReader(reader, graveyard_);
    encoder.reset();
  }

 private:
  // The track's file name without its extension; shows the track in the
  // dialog.
  std::u16string FileName(int32_t track) {
    const DiscMetadata& meta = *meta_;
    const bool titled = !meta.titles.empty();
    std::u16string name;
    if (titled) name = ExpandTemplate(meta, settings_.NameTemplate, track - 1);
    if (name.empty()) name = TrackName(track);
    std::u16string current = name;
    if (titled && size_t(track - 1) < meta.titles.size()) current = Utf8ToWide(meta.titles[track - 1].c_str());
    observer_.SetCurrentTrackText(u"Current: " + current);
    observer_.ResetTrackBar(job_.track_bytes);
    return name;
  }

  void StartReader(Reader& reader, std::shared_ptr<Pipe> pipe, const TrackExtent& extent) {
    reader.job = std::make_shared<ReaderJob>();
    reader.job->drive = &drive_;
    reader.job->first_sector = extent.first_sector;
    reader.job->sector_count = extent.sector_count;
    reader.job->jitter_correction = settings_.JitterCorrection != 0;
    reader.job->pipe = std::move(pipe);
    reader.job->pause_event = control_.pause;
    reader.job->cancel_flag.store(&control_.cancel);
    reader.thread = std::thread(control_.reader ? control_.reader : ReaderThreadMain, reader.job);
  }

  // Hands the reader's PCM to the encoder in chunks of 26 sectors until the
  // track ends, the reader fails, or the job is cancelled (waiting while it
  // is paused).
  void Pump(Pipe& pipe, Reader& reader, CEncoder& encoder) {
    std::vector<uint8_t> chunk(kChunkBytes);
    for (;;) {
      ssize_t n = pipe.Read(chunk.data(), chunk.size());
      if (n < 0) {
        if (errno == EPIPE) return;
        throw AppException(kMsgPipeReadError);
      }
      if (n == 0 || reader.job->error_flag) return;
      control_.pause->Wait();
      if (control_.cancel) {
        pipe.CloseRead();
        return;
      }
      encoder.Write(chunk.data(), static_cast<uint32_t>(n));
      job_.track_done += static_cast<int32_t>(n);
      job_.total_done += static_cast<uint32_t>(n);
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
};

}  // namespace

void RunRipJob(RipSession& session, RipControl& control, RipObserver& observer) {
  Settings settings;
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

  if (!drive_open) {
    // Without the drive every read would fail and the job would write silence.
    observer.AddError(DriveOpenFailureMessage(open_error, drive.open_detail()));
  } else {
    TrackRipper ripper(session, control, observer, settings, drive, graveyard, folder);
    session.results.reserve(disc.selection.size());
    for (int32_t track : disc.selection) {
      if (control.cancel) break;
      ripper.Rip(track, extent(track), session.results.emplace_back());
    }
  }

  graveyard.JoinAll();
  if (settings.EjectWhenDone && drive_open) drive.Eject();
  if (settings.BeepWhenDone) observer.PlayCompletionSound();
  if (settings.OpenFolderWhenDone && !control.cancel && drive_open) observer.OpenOutputFolder(folder);
  observer.JobFinished();
  drive.Close();
}

}  // namespace tonvik
