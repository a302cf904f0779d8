#include "rip/rip_job.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "cdrom/cd_drive.h"
#include "cdrom/disc_check.h"
#include "cdrom/reader_thread.h"
#include "core/app_exception.h"
#include "core/settings.h"
#include "output/disc_metadata.h"
#include "encoders/encoder.h"
#include "encoders/selection.h"
#include "encoders/tag_data.h"
#include "output/utf8_to_wide.h"
#include "platform/pipe.h"
#include "rip/job_observer.h"
#include "output/naming.h"

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

}  // namespace

RipJob& TheRipJob() {
  static RipJob job;
  return job;
}

void RunRipJob(RipJob& job, RipControl& control, RipObserver& observer) {
  Settings settings;
  Selection().format_number = job.format_number;  // what the factory and the extension read
  const auto track_map = BuildTrackMap(job.toc);
  auto extent = [&](int32_t track) {
    auto it = track_map.find(track);
    return it == track_map.end() ? TrackExtent{0, 0} : it->second;
  };

  int64_t total = 0;
  for (int32_t t : job.selection) total += int64_t(extent(t).sector_count) * kSectorBytes;
  job.total_bytes = static_cast<int32_t>(total);
  job.total_done = 0;
  observer.ResetTotalBar(job.total_bytes);

  CdDrive drive;
  ReaderGraveyard graveyard;
  const bool drive_open = drive.Open(job.drive_letter);
  const int open_error = errno;

  // The output folder, with the artist and album sub-folders when titles exist.
  const DiscMetadata& meta = Metadata();
  const bool titled = !meta.titles.empty();
  std::u16string folder = job.destination;
  if (folder.empty() || folder.back() != u'/') folder += u'/';
  if (titled) {
    if (settings.CreateArtistSubfolder) folder += ExpandTemplate(meta, u"%1\\", 0);
    if (settings.CreateAlbumSubfolder) folder += ExpandTemplate(meta, u"%3\\", 0);
  }

  if (!drive_open) {
    // Without the drive every read would fail and the job would write silence.
    observer.AddError(DriveOpenFailureMessage(open_error));
  }

  for (size_t i = 0; drive_open && i < job.selection.size(); ++i) {
    if (control.cancel) break;
    const int32_t track = job.selection[i];
    const TrackExtent ext = extent(track);
    std::unique_ptr<CEncoder> encoder;
    Reader reader;
    std::u16string file_name;
    job.track_done = 0;
    job.track_bytes = ext.sector_count * kSectorBytes;

    try {
      if (titled) file_name = ExpandTemplate(meta, settings.NameTemplate, track - 1);
      if (file_name.empty()) file_name = TrackName(track);
      std::u16string current = file_name;
      if (titled && size_t(track - 1) < meta.titles.size())
        current = Utf8ToWide(meta.titles[track - 1].c_str());
      observer.SetCurrentTrackText(u"Current: " + current);
      observer.ResetTrackBar(job.track_bytes);

      file_name += GetTargetExtension();
      auto tags = CreateTagData(static_cast<uint32_t>(track - 1));
      encoder = CreateEncoder(folder + file_name, tags);

      auto pipe = std::make_shared<Pipe>(static_cast<size_t>(job.track_bytes.load()));
      if (!pipe->ok()) throw AppException(kMsgPipeReadError);
      reader.job = std::make_shared<ReaderJob>();
      reader.job->drive = &drive;
      reader.job->first_sector = ext.first_sector;
      reader.job->sector_count = ext.sector_count;
      reader.job->jitter_correction = settings.JitterCorrection != 0;
      reader.job->pipe = pipe;
      reader.job->pause_event = control.pause;
      reader.job->cancel_flag.store(&control.cancel);
      reader.thread = std::thread(control.reader ? control.reader : ReaderThreadMain, reader.job);

      std::vector<uint8_t> chunk(kChunkBytes);
      for (;;) {
        ssize_t n = pipe->Read(chunk.data(), chunk.size());
        if (n < 0) {
          if (errno == EPIPE) break;
          throw AppException(kMsgPipeReadError);
        }
        if (n == 0 || reader.job->error_flag) break;
        control.pause->Wait();
        if (control.cancel) {
          pipe->CloseRead();
          break;
        }
        encoder->Write(chunk.data(), static_cast<uint32_t>(n));
        job.track_done += static_cast<int32_t>(n);
        job.total_done += static_cast<uint32_t>(n);
      }
      StopReader(reader, graveyard);
      if (control.cancel) throw AppException(kMsgCanceled);
      if (reader.job->error_flag) throw AppException(kMsgCdReadError);

      observer.SetCurrentTrackText(observer.CurrentTrackText() + u" (encoding)");
      encoder->Finish();
      encoder.reset();
      if (int32_t lost = reader.job->unread_sectors.load(); lost > 0)
        observer.AddError(file_name + u": " + FormatMessage(kMsgSilenced, {Decimal(lost)}));
    } catch (const AppException& e) {
      observer.AddError(file_name + u": " + e.Message());
    } catch (...) {
      observer.AddError(file_name + u": " + kMsgUnhandled);
    }
    // A failed or cancelled track: stop its reader, and destroying the
    // encoder discards its unfinished output (the target file, if one
    // existed before, is left as it was).
    StopReader(reader, graveyard);
    encoder.reset();
    if (control.cancel) break;
  }

  graveyard.JoinAll();
  if (settings.EjectWhenDone && drive_open) drive.Eject();
  if (settings.BeepWhenDone) observer.PlayCompletionSound();
  if (settings.OpenFolderWhenDone && !control.cancel && drive_open) observer.OpenOutputFolder(folder);
  observer.JobFinished();
  drive.Close();
}

}  // namespace tonvik
