// The whole-disc figures of drive D, one per run, printed as seconds:
//   rip_bench rip <format> <preset> <out-folder>   RunRipJob over every track
//   rip_bench read [busy-ns-per-byte]              every track through the reader
//                                                  thread into a drained pipe
//   rip_bench encode <format> <preset> <out-folder> <image.bin>
//                                                  the tracks' PCM, read into memory
//                                                  first, through CreateEncoder /
//                                                  Write(61152) / Finish
// The hives must map D to the image and point AppPath at lame_enc.so. The
// script takes peak memory of the whole process. RIP_BENCH_TRACE=1 in the
// environment prints when each track starts and when its reading ended. A
// rip prints its read amplification (sectors asked of the drive / sectors
// delivered) on standard error, and fails on any error in its list unless
// RIP_BENCH_ERRORS_ALLOWED is set.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cdrom/cd_drive.h"
#include "cdrom/disc_check.h"
#include "cdrom/reader_thread.h"
#include "core/app_exception.h"
#include "encoders/encoder.h"
#include "encoders/selection.h"
#include "encoders/tag_data.h"
#include "platform/event.h"
#include "platform/pipe.h"
#include "platform/text.h"
#include "rip/job_observer.h"
#include "rip/rip_session.h"

namespace tonvik {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kChunkBytes = 61152;
constexpr int32_t kSectorBytes = 2352;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Prints every error and counts them; nothing else to show.
class QuietObserver : public RipObserver {
 public:
  int errors = 0;
  void SetCurrentTrackText(const std::u16string& text) override {
    current_ = text;
    if (std::getenv("RIP_BENCH_TRACE"))
      std::fprintf(stderr, "%.4f %s\n", Since(start_), ToUtf8(text).c_str());
  }
  std::u16string CurrentTrackText() override { return current_; }
  void ResetTrackBar(int32_t) override {}
  void ResetTotalBar(int32_t) override {}
  void AddError(const std::u16string& entry) override {
    ++errors;
    std::fprintf(stderr, "%s\n", ToUtf8(entry).c_str());
  }
  void PlayCompletionSound() override {}
  void OpenOutputFolder(const std::u16string&) override {}
  void JobFinished() override {}

 private:
  std::u16string current_;
  Clock::time_point start_ = Clock::now();
};

int Rip(const cdrom::DiscState& disc, const EncoderSelection& choice, const std::string& out) {
  RipSession session;
  session.disc = disc;
  session.format = choice;
  session.job.destination = FromUtf8(out);
  RipControl control;
  QuietObserver observer;
  const auto start = Clock::now();
  RunRipJob(session, control, observer);
  const double seconds = Since(start);
  // Sectors asked of the drive per sector delivered, every read counted.
  int64_t asked = 0, delivered = 0;
  for (const TrackResult& r : session.results) {
    asked += r.sectors_asked;
    delivered += r.sectors_read;
  }
  std::fprintf(stderr, "amplification %.4f\n", delivered ? double(asked) / double(delivered) : 0.0);
  if (observer.errors && !std::getenv("RIP_BENCH_ERRORS_ALLOWED")) return 1;
  std::printf("%.4f\n", seconds);
  return 0;
}

// busy_ns_per_byte > 0: the drain spins that long per byte taken, a stand-in
// for an encoder's CPU time (diagnostics of the overlap).
int Read(const cdrom::DiscState& disc, double busy_ns_per_byte) {
  cdrom::CdDrive drive;
  if (!drive.Open(u'D')) {
    std::perror("open D");
    return 1;
  }
  const auto map = cdrom::BuildTrackMap(disc.toc);
  const std::atomic<uint8_t> never{0};
  auto running = std::make_shared<ManualResetEvent>(true);
  std::vector<uint8_t> chunk(kChunkBytes);
  int64_t raw = 0, delivered = 0;
  const auto start = Clock::now();
  for (int32_t track : disc.selection) {
    const auto& ext = map.at(track);
    auto job = std::make_shared<cdrom::ReaderJob>();
    job->drive = &drive;
    job->first_sector = ext.first_sector;
    job->sector_count = ext.sector_count;
    job->pipe = std::make_shared<Pipe>(size_t(ext.sector_count) * kSectorBytes);  // as the rip job
    job->pause_event = running;
    job->cancel_flag.store(&never);
    std::thread reader(cdrom::ReaderThreadMain, job);
    int64_t bytes = 0;
    for (ssize_t n; (n = job->pipe->Read(chunk.data(), chunk.size())) > 0;) {
      bytes += n;
      if (busy_ns_per_byte > 0) {
        const auto until = Clock::now() + std::chrono::nanoseconds(int64_t(busy_ns_per_byte * n));
        while (Clock::now() < until) {
        }
      }
    }
    reader.join();
    if (job->error_flag || bytes != int64_t(ext.sector_count) * kSectorBytes) {
      std::fprintf(stderr, "track %d: read failed\n", track);
      return 1;
    }
    raw += job->raw_sectors_read;
    delivered += ext.sector_count;
  }
  const double seconds = Since(start);
  std::printf("%.4f\n", seconds);
  std::fprintf(stderr, "amplification %.4f\n", double(raw) / double(delivered));
  return 0;
}

int Encode(const cdrom::DiscState& disc, const EncoderSelection& choice, const std::string& out,
           const std::string& bin) {
  const int format = choice.format_number;
  const auto record = std::make_shared<const DiscMetadata>();
  std::ifstream in(bin, std::ios::binary);
  const std::string image((std::istreambuf_iterator<char>(in)), {});
  const auto map = cdrom::BuildTrackMap(disc.toc);
  const auto start = Clock::now();
  for (int32_t track : disc.selection) {
    const auto& ext = map.at(track);
    const size_t first = size_t(ext.first_sector) * kSectorBytes;
    const size_t bytes = size_t(ext.sector_count) * kSectorBytes;
    if (first + bytes > image.size()) {
      std::fprintf(stderr, "track %d outside the image\n", track);
      return 1;
    }
    char name[32];
    std::snprintf(name, sizeof name, "/Track %02d", track);
    auto encoder = CreateEncoder(EncoderTarget{FromUtf8(out + name) + GetTargetExtension(format), choice},
                                 CreateTagData(record, static_cast<uint32_t>(track - 1)));
    for (size_t done = 0; done < bytes; done += kChunkBytes) {
      const size_t n = std::min<size_t>(kChunkBytes, bytes - done);
      encoder->Write(image.data() + first + done, static_cast<uint32_t>(n));
    }
    encoder->Finish();
  }
  std::printf("%.4f\n", Since(start));
  return 0;
}

}  // namespace
}  // namespace tonvik

// "<format> <preset>": the preset index, or "3:<value>" for a custom value.
tonvik::EncoderSelection Choice(const char* format, const char* preset) {
  tonvik::EncoderSelection choice{std::atoi(format), std::atoi(preset), 0};
  if (const char* colon = std::strchr(preset, ':')) choice.custom_value = std::atoi(colon + 1);
  return choice;
}

int main(int argc, char** argv) {
  using namespace tonvik;
  const std::string what = argc > 1 ? argv[1] : "";
  try {
    const cdrom::DiscState disc = cdrom::CheckDisc({u"D:\\"});
    if (what == "rip" && argc == 5) return Rip(disc, Choice(argv[2], argv[3]), argv[4]);
    if (what == "read" && argc == 2) return Read(disc, 0);
    if (what == "read" && argc == 3) return Read(disc, std::atof(argv[2]));
    if (what == "encode" && argc == 6)
      return Encode(disc, Choice(argv[2], argv[3]), argv[4], argv[5]);
  } catch (const AppException& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: %s rip <format> <preset> <out> | read | encode <format> <preset> <out> <bin>\n"
               "       (<preset>: 0 to 2, or 3:<custom value>)\n",
               argv[0]);
  return 2;
}
