// Extraction through the real libcdparanoia over the image drive, into a
// real pipe drained by a test thread, as the rip job does.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <thread>

#include "cdrom/cd_drive.h"
#include "cdrom/image_transport.h"
#include "cdrom/reader_thread.h"
#include "disc_image.h"
#include "support/wait_until.h"

namespace tonvik::cdrom {
namespace {

namespace fs = std::filesystem;
constexpr size_t kSector = 2352;

struct Extraction {
  std::string pcm;
  int32_t unread = 0;
  int64_t raw = 0;
  bool error = false;
};

// Passes every command on to the image drive, then runs the test's hook on
// the thread that sent it.
class Tap : public ScsiTransport {
 public:
  Tap(std::unique_ptr<ScsiTransport> drive, const std::function<void()>& after)
      : drive_(std::move(drive)), after_(after) {}
  bool Execute(const uint8_t* cdb, int cdb_length, int direction, void* buffer, uint32_t length,
               uint32_t timeout_seconds, uint8_t sense[18]) override {
    const bool sent = drive_->Execute(cdb, cdb_length, direction, buffer, length, timeout_seconds, sense);
    if (after_) after_();
    return sent;
  }

 private:
  std::unique_ptr<ScsiTransport> drive_;
  const std::function<void()>& after_;
};

class TrackReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tonvik-reader-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Audio tracks of the given sectors in one BIN; opens the drive on it.
  void MakeDisc(const std::vector<int32_t>& sectors, FaultPlan plan = {}) {
    std::vector<discimage::ImageTrack> tracks;
    int32_t lba = 0;
    starts_.clear();
    for (int32_t n : sectors) {
      tracks.push_back({discimage::ImageTrack::Audio, n, discimage::ImageTrack::Music});
      starts_.push_back(lba);
      lba += n;
    }
    const std::string cue = (dir_ / "disc.cue").string();
    std::string error;
    ASSERT_TRUE(discimage::WriteDiscImage(cue, tracks, false, &error)) << error;
    std::ifstream in(dir_ / "disc.bin", std::ios::binary);
    bin_.assign(std::istreambuf_iterator<char>(in), {});
    auto transport = ImageTransport::Open(cue, &error);
    ASSERT_TRUE(transport) << error;
    transport->plan() = plan;
    counters_ = transport->counters();
    drive_ = std::make_unique<CdDrive>(std::make_unique<Tap>(std::move(transport), after_command_));
  }
  std::string Source(int32_t first, int32_t count) const {
    return bin_.substr(size_t(first) * kSector, size_t(count) * kSector);
  }

  // Runs the reader thread over the extent and drains its pipe.
  Extraction Extract(int32_t first, int32_t count, bool jitter,
                     std::function<void(ReaderJob&, Extraction&)> while_reading = {}) {
    auto job = std::make_shared<ReaderJob>();
    job->drive = drive_.get();
    job->first_sector = first;
    job->sector_count = count;
    job->jitter_correction = jitter;
    job->read_offset = read_offset_;
    job->disc_end = int32_t(bin_.size() / kSector);
    job->pipe = std::make_shared<Pipe>(size_t(count) * kSector);
    job->pause_event = pause_;
    job->cancel_flag.store(&cancel_);
    Extraction out;
    std::thread reader(ReaderThreadMain, job);
    std::thread side;
    if (while_reading) side = std::thread([&] { while_reading(*job, out); });
    char buf[61152];
    for (;;) {
      ssize_t n = job->pipe->Read(buf, sizeof buf);
      if (n <= 0) break;
      out.pcm.append(buf, size_t(n));
    }
    reader.join();
    if (side.joinable()) side.join();
    // However the reader stopped, the count the job waits on says what it
    // wrote, and that it will write no more.
    EXPECT_TRUE(job->written.ended());
    EXPECT_EQ(size_t(job->written.sectors()) * kSector, out.pcm.size());
    out.unread = job->unread_sectors;
    out.raw = job->raw_sectors_read;
    out.error = job->error_flag != 0;
    return out;
  }
  static int32_t SilentSectors(const std::string& pcm) {
    int32_t n = 0;
    for (size_t i = 0; i + kSector <= pcm.size(); i += kSector)
      if (pcm.find_first_not_of('\0', i) >= i + kSector) ++n;
    return n;
  }

  // The disc's own PCM of the extent as a reader correcting read offset o
  // must deliver it: sample p comes from the drive's sample p + o, and where
  // that lies outside the disc's sectors nothing can be read: silence.
  std::string Corrected(int32_t first, int32_t count, int32_t o) const {
    const int64_t disc_samples = int64_t(bin_.size() / 4);
    std::string out;
    for (int64_t p = int64_t(first) * 588; p < int64_t(first + count) * 588; ++p) {
      const bool readable = p + o >= 0 && p + o < disc_samples;
      out.append(readable ? bin_.substr(size_t(p * 4), 4) : std::string(4, '\0'));
    }
    return out;
  }

  int32_t read_offset_ = 0;  // handed to every reader
  fs::path dir_;
  std::string bin_;
  std::vector<int32_t> starts_;
  std::shared_ptr<ImageCounters> counters_;
  std::function<void()> after_command_;  // run after each command the drive answers; outlives drive_
  std::unique_ptr<CdDrive> drive_;
  std::shared_ptr<ManualResetEvent> pause_ = std::make_shared<ManualResetEvent>(true);
  std::atomic<uint8_t> cancel_{0};
};

TEST_F(TrackReaderTest, ACleanTrackIsBitExactInBothModesAndNoReadLeavesTheTrack) {
  MakeDisc({400, 1500, 400});
  for (bool jitter : {false, true}) {
    SCOPED_TRACE(jitter ? "jitter correction on" : "off");
    counters_->lowest_lba = INT32_MAX;
    counters_->highest_lba = -1;
    Extraction x = Extract(400, 1500, jitter);
    EXPECT_FALSE(x.error);
    EXPECT_EQ(x.unread, 0);
    ASSERT_EQ(x.pcm.size(), 1500 * kSector);
    EXPECT_TRUE(x.pcm == Source(400, 1500));
    EXPECT_GE(counters_->lowest_lba.load(), 400);
    EXPECT_LE(counters_->highest_lba.load(), 1899);
    if (!jitter) {
      EXPECT_LE(x.raw, 1500 + 26);  // no read amplification without verification
    }
  }
}

TEST_F(TrackReaderTest, JitterCorrectionRepairsFlippedBitsAndShiftedReads) {
  FaultPlan plan;
  plan.flipbits.push_back({0, 1999, 97});
  // The drive flips bits on the first read of a sector only (a fresh disc each time).
  MakeDisc({2000}, plan);
  Extraction plain = Extract(0, 2000, false);
  EXPECT_FALSE(plain.pcm == Source(0, 2000)) << "the fault plan flipped nothing";
  MakeDisc({2000}, plan);
  Extraction fixed = Extract(0, 2000, true);
  EXPECT_TRUE(fixed.pcm == Source(0, 2000)) << "flipped bits left in the output";

  FaultPlan shifted;
  shifted.jitter.push_back({300, 340, 8});
  shifted.jitter.push_back({900, 960, -5});
  MakeDisc({2000}, shifted);
  Extraction x = Extract(0, 2000, true);
  ASSERT_EQ(x.pcm.size(), 2000 * kSector);
  // Continuity is guaranteed, an absolute offset of a few samples is not:
  // the output must equal the source at one constant offset.
  const std::string src = Source(0, 2000);
  bool matched = false;
  for (int samples = -16; samples <= 16 && !matched; ++samples) {
    const size_t skip = 64 * kSector;
    const long shift = samples * 4L;
    matched = x.pcm.compare(skip, 1800 * kSector, src, size_t(long(skip) + shift), 1800 * kSector) == 0;
  }
  EXPECT_TRUE(matched);
}

struct UnreadableCase {
  const char* label;
  bool jitter;
  int32_t first_bad, last_bad;  // track-relative
  int32_t min_silent, max_silent;
};

TEST_F(TrackReaderTest, UnreadableSectorsEndInBoundedTimeAsCountedSilence) {
  const UnreadableCase cases[] = {
      {"mid-track, plain", false, 1000, 1009, 10, 26},
      {"mid-track, jitter correction", true, 1000, 1009, 10, 60},
      {"first sectors, jitter correction", true, 0, 9, 10, 10},
      {"one of the first sectors, jitter correction", true, 5, 5, 1, 26},
      {"first sectors, plain", false, 0, 9, 10, 26},
      {"end of track, jitter correction", true, 1990, 1999, 10, 40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    FaultPlan plan;
    plan.unreadable.push_back({500 + c.first_bad, 500 + c.last_bad, 0});
    MakeDisc({500, 2000, 300}, plan);
    Extraction x = Extract(500, 2000, c.jitter);
    // A reader that kept retrying the damaged spot would never end; these
    // cases take at most about 1800 READ CDs for the 2000 sectors.
    EXPECT_LT(counters_->read_cd_calls.load(), 4000);
    ASSERT_EQ(x.pcm.size(), 2000 * kSector);
    const int32_t silent = SilentSectors(x.pcm);
    EXPECT_GE(silent, c.min_silent);
    EXPECT_LE(silent, c.max_silent);
    EXPECT_GE(x.unread, c.last_bad - c.first_bad + 1);
    EXPECT_LE(x.unread, silent);
    // Everything outside the damaged spot is the disc's audio.
    EXPECT_EQ(x.pcm.compare(0, size_t(std::max(0, c.first_bad - 60)) * kSector, Source(500, 2000), 0,
                            size_t(std::max(0, c.first_bad - 60)) * kSector),
              0);
  }
}

TEST_F(TrackReaderTest, AOneSectorTrackDeliversOneSector) {
  MakeDisc({100, 1, 100});
  for (bool jitter : {false, true}) {
    Extraction x = Extract(100, 1, jitter);
    EXPECT_EQ(x.pcm.size(), kSector);
    EXPECT_TRUE(x.pcm == Source(100, 1));
  }
}

TEST_F(TrackReaderTest, CancelWhilePausedStopsWithoutReading) {
  MakeDisc({600});
  pause_->Reset();
  bool waited = false;
  Extraction x = Extract(0, 600, true, [&](ReaderJob&, Extraction&) {
    // The cancel comes while the reader is known to wait on the pause.
    waited = tonvik::testing::WaitUntil([&] { return pause_->Waiters() > 0; });
    cancel_ = 1;
    pause_->Set();
  });
  EXPECT_TRUE(waited) << "the reader never waited on the pause";
  EXPECT_TRUE(x.pcm.empty());
  EXPECT_FALSE(x.error);
  EXPECT_EQ(counters_->sectors_read.load(), 0);
}

TEST_F(TrackReaderTest, CancelMidTrackEndsWithinOneSecondOfTheDrivesReading) {
  for (bool jitter : {false, true}) {
    SCOPED_TRACE(jitter);
    FaultPlan plan;
    plan.speed = 300;  // a slow drive: 5000 sectors would take 16 s
    plan.unreadable.push_back({2000, 2100, 0});
    MakeDisc({5000}, plan);
    cancel_ = 0;
    // The cancel comes from the reader's own thread as soon as the drive has
    // delivered 210 sectors (0.7 s of its reading), wherever the machine is.
    int64_t read_at_cancel = 0, calls_at_cancel = 0;
    after_command_ = [&] {
      if (cancel_ || counters_->sectors_read.load() < 210) return;
      calls_at_cancel = counters_->read_cd_calls.load();
      read_at_cancel = counters_->sectors_read.load();
      cancel_ = 1;
    };
    Extraction x = Extract(0, 5000, jitter);
    after_command_ = nullptr;
    ASSERT_EQ(cancel_.load(), 1) << "the drive never reached the point of the cancel";
    // Measured in the drive's own reading: after the cancel the reader
    // finishes the request under way and asks for nothing more than one
    // second (300 sectors) of this drive's reading.
    EXPECT_LE(counters_->sectors_read.load() - read_at_cancel, 300);
    EXPECT_LE(counters_->read_cd_calls.load() - calls_at_cancel, 12);
    EXPECT_LT(x.pcm.size(), 5000 * kSector);
  }
}

struct OffsetCase {
  int32_t drive;   // the image drive's read offset
  int32_t reader;  // the offset the reader corrects
};

TEST_F(TrackReaderTest, ReadOffsetCorrectionDeliversTheDiscsOwnSamplesOfEveryTrack) {
  const OffsetCase cases[] = {{667, 667}, {-1164, -1164}, {588, 588}, {-588, -588}, {6, 6},
                              {0, 0},     {667, 0},       {667, 661}, {-1164, 1164}, {0, 30}};
  // A 1-sector track inside the disc and 1-sector tracks at both of its edges.
  const std::vector<std::vector<int32_t>> discs = {{300, 1, 500, 400}, {1, 200, 1}};
  for (const auto& layout : discs) {
    for (const OffsetCase& c : cases) {
      FaultPlan plan;
      plan.offset = c.drive;
      MakeDisc(layout, plan);
      read_offset_ = c.reader;
      const int32_t disc_end = int32_t(bin_.size() / kSector);
      for (bool jitter : {false, true}) {
        for (size_t t = 0; t < layout.size(); ++t) {
          SCOPED_TRACE("drive " + std::to_string(c.drive) + ", reader " + std::to_string(c.reader) +
                       (jitter ? ", jitter correction" : ", plain") + ", track " + std::to_string(t + 1) +
                       " of " + std::to_string(layout.size()));
          counters_->lowest_lba = INT32_MAX;
          counters_->highest_lba = -1;
          const Extraction x = Extract(starts_[t], layout[t], jitter);
          EXPECT_FALSE(x.error);
          EXPECT_EQ(x.unread, 0);
          ASSERT_EQ(x.pcm.size(), size_t(layout[t]) * kSector);
          const std::string own = Corrected(starts_[t], layout[t], c.drive);
          if (c.drive == c.reader) {
            EXPECT_TRUE(x.pcm == own);
          } else if (own.find_first_not_of('\0') != std::string::npos) {
            EXPECT_FALSE(x.pcm == own);  // a track wholly beyond the disc is silence either way
          }
          // Reads stay inside the disc and within the sectors the shift
          // needs: floor(o / 588) sectors moved, one more for a remainder.
          const int32_t below = c.reader >= 0 ? c.reader / 588 : -((587 - c.reader) / 588);
          const int32_t above = c.reader >= 0 ? (c.reader + 587) / 588 : -(-c.reader / 588);
          if (counters_->highest_lba.load() >= 0) {
            EXPECT_GE(counters_->lowest_lba.load(), std::max(0, starts_[t] + below));
            EXPECT_LE(counters_->highest_lba.load(), std::min(disc_end - 1, starts_[t] + layout[t] - 1 + above));
          }
          if (!jitter) {
            EXPECT_LE(x.raw, layout[t] + 1 + 26);  // the one sector more, no amplification
          }
        }
      }
    }
  }
}

TEST_F(TrackReaderTest, ReadOffsetCorrectionMeetsTheDiscsEdgesWithSilence) {
  // A drive that delivers earlier audio leaves the end of the last track
  // beyond the disc; one that delivers later audio, the start of the first.
  struct Edge { int32_t offset; size_t track; bool at_end; } edges[] = {{667, 1, true}, {-1164, 0, false}};
  for (const Edge& e : edges) {
    for (bool jitter : {false, true}) {
      SCOPED_TRACE("offset " + std::to_string(e.offset) + (jitter ? ", jitter correction" : ", plain"));
      FaultPlan plan;
      plan.offset = e.offset;
      MakeDisc({400, 300}, plan);
      read_offset_ = e.offset;
      const Extraction x = Extract(starts_[e.track], 400 - 100 * int32_t(e.track), jitter);
      const std::string own = Source(starts_[e.track], 400 - 100 * int32_t(e.track));
      ASSERT_EQ(x.pcm.size(), own.size());
      const size_t silent = size_t(std::abs(e.offset)) * 4;
      const size_t at = e.at_end ? own.size() - silent : 0;
      // Exactly |offset| samples of silence where the disc ends, the disc's
      // own audio everywhere else.
      EXPECT_EQ(x.pcm.find_first_not_of('\0', at), e.at_end ? std::string::npos : silent);
      EXPECT_NE(own.find_first_not_of('\0', at), std::string::npos) << "the disc is silent there anyway";
      EXPECT_EQ(x.pcm.compare(e.at_end ? 0 : silent, own.size() - silent, own, e.at_end ? 0 : silent,
                              own.size() - silent),
                0);
    }
  }
}

}  // namespace
}  // namespace tonvik::cdrom

namespace tonvik::cdrom {
namespace {

// The job waits for a chunk's worth of sectors; it wakes once they are
// written, once the reader ends short of them, or after its patience.
TEST(WrittenSectors, TheJobWakesWhenItsSectorsAreInOrTheReaderEnds) {
  struct Case {
    const char* name;
    std::vector<int32_t> sets;  // what the reader tells, in turn
    bool ends;
    int32_t wanted;
    std::chrono::milliseconds patience;
    bool satisfied;  // the sectors are in, or the reader has ended
  };
  const Case cases[] = {
      {"in at once", {26}, false, 26, std::chrono::minutes(5), true},
      {"in sector by sector", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27}, false, 26, std::chrono::minutes(5), true},
      {"the reader ends short", {1, 2, 3}, true, 26, std::chrono::minutes(5), true},
      {"already there", {}, false, 0, std::chrono::minutes(5), true},
      {"nothing comes: patience", {}, false, 26, std::chrono::milliseconds(1), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WrittenSectors written;
    std::thread reader([&] {
      for (int32_t n : c.sets) written.Set(n);
      if (c.ends) written.End();
    });
    if (!c.satisfied) reader.join();
    written.WaitFor(c.wanted, c.patience);
    EXPECT_EQ(written.sectors() >= c.wanted || written.ended(), c.satisfied);
    if (reader.joinable()) reader.join();
  }
}

}  // namespace
}  // namespace tonvik::cdrom
