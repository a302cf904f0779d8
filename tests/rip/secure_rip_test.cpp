// Reading a track once when AccurateRip proves the read right, and again
// with jitter correction only when it does not: which reads each track gets
// under each fault, what its file holds, what the log says, and a pause or a
// cancel while a track is read the second time.
#include <gtest/gtest.h>

#include "rip/rip_job_fixture.h"

namespace tonvik {
namespace {

class SecureRipTest : public RipVerifyTest {
 protected:
  // A three-track disc, the database knowing it (or not: route), the
  // drive's offset set (0: the image drive has none), and a fault on track
  // 2's sectors from..to (0-based, inclusive): "<kind> <first> <last>
  // <rest>"; an empty kind for none.
  void MakeKnownDisc(const std::string& kind = "", int32_t from = 0, int32_t to = 0, const std::string& rest = "",
                     const std::string& route = "200") {
    fs::remove_all(music_);
    observer_.errors.clear();
    MakeDisc({75 * 8, 75 * 9, 75 * 8});
    if (!kind.empty()) std::ofstream(cue_.string() + ".faults") << kind + " " + Sectors(2, from, to) + rest + "\n";
    ServeRecordOfImage(route);
    SetReadOffset(DriveOptionsKey(u'D'), 0);
  }
  TrackExtent Extent(int track) { return BuildTrackMap(disc_.toc).at(track); }
  // "<first> <last>" of sectors from..to of the track (0-based, inclusive).
  std::string Sectors(int track, int32_t from, int32_t to) {
    const int32_t first = Extent(track).first_sector;
    return std::to_string(first + from) + " " + std::to_string(first + to);
  }
  std::string LogText() {
    const auto logs = Logs();
    return logs.empty() ? std::string() : Slurp(music_ / logs.front());
  }
  // Track n's block of the log.
  std::string TrackBlock(int track) {
    const std::string log = LogText();
    const size_t at = log.find("\nTrack " + std::to_string(track) + "\n");
    if (at == std::string::npos) return "(no block)";
    return log.substr(at, log.find("\n\n", at + 1) - at);
  }
};

// The read paths, by fault and mode. Every file holds the disc's PCM when a
// read could be proved or settled, and the log tells how each track was read.
TEST_F(SecureRipTest, EachTrackIsReadAsOftenAsItsProofNeeds) {
  struct Case {
    const char* name;
    int jitter_correction;
    std::string fault;            // on track 2's sectors from..to
    int32_t from, to;
    std::string rest;
    std::string route;            // of the AccurateRip record
    std::string reading[3];       // each track's "Reading" line
    bool exact[3];                // the file holds the image's PCM
    double most_asked[3];         // sectors asked of the drive per sector of the track, at most
    double least_asked[3];        // and at least
    std::vector<std::u16string> errors;
  };
  const std::string verified = "burst read, verified by AccurateRip";
  const std::u16string not_accurate = u"Track 02.flac: The rip is not accurate according to AccurateRip.";
  const Case cases[] = {
      {"clean, known: every track read once", 1, "", 0, 0, "", "200", {verified, verified, verified},
       {true, true, true}, {1.05, 1.05, 1.05}, {1, 1, 1}, {}},
      {"bits flipped on track 2: its differing sectors settled", 1, "flipbits", 100, 103, " 50", "200", {verified, "burst read not accurate; secure re-read: 4 sectors re-read, 0 never agreed", verified},
       {true, true, true}, {1.05, 5, 1.05}, {1, 2, 1}, {}},
      {"jitter on track 2: the shifted read settled", 1, "jitter", 280, 330, " 7", "200",
       {verified, "", verified}, {true, true, true}, {1.05, 5, 1.05}, {1, 2, 1}, {}},
      {"noise on track 2: two sectors never agree and become silence", 1, "noise", 200, 201, "", "200", {verified, "burst read not accurate; secure re-read: 2 sectors re-read, 2 never agreed", verified},
       {true, false, true}, {1.05, 20, 1.05}, {1, 2, 1},
       {u"Track 02.flac: 2 sectors could not be read and were replaced by silence.", not_accurate}},
      {"not in the database: corrected reads alone, as ever", 1, "", 0, 0, "", "404",
       {"secure read, not verified", "secure read, not verified", "secure read, not verified"},
       {true, true, true}, {4, 4, 4}, {1.5, 1.5, 1.5}, {}},
      {"burst mode, clean", 0, "", 0, 0, "", "200", {"burst read", "burst read", "burst read"}, {true, true, true},
       {1.05, 1.05, 1.05}, {1, 1, 1}, {}},
      {"burst mode, bits flipped: the accurate re-read is kept", 0, "flipbits", 100, 103, " 50", "200",
       {"burst read", "burst read not accurate; re-read with jitter correction: accurate, kept", "burst read"},
       {true, true, true}, {1.05, 5, 1.05}, {1, 2, 1}, {}},
      {"burst mode, noise: the re-read is no better, the first read stays", 0, "noise", 200, 201, "", "200",
       {"burst read", "burst read not accurate; re-read with jitter correction: not accurate either, the first read kept",
        "burst read"},
       {true, false, true}, {1.05, 20, 1.05}, {1, 2, 1}, {not_accurate}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeKnownDisc(c.fault, c.from, c.to, c.rest, c.route);
    SetOption(u"JitterCorrection", c.jitter_correction);
    RipJob& job = Job(6);
    Run(job);
    EXPECT_EQ(observer_.Errors(), c.errors);
    // However often a track was read, the total bar ends at the disc's bytes.
    EXPECT_EQ(job.total_done.load(), uint32_t(job.total_bytes.load()));
    for (int t = 1; t <= 3; ++t) {
      SCOPED_TRACE("track " + std::to_string(t));
      const TrackResult& r = session_->results[size_t(t - 1)];
      const std::string block = TrackBlock(t);
      if (!c.reading[t - 1].empty()) {
        EXPECT_EQ(LogField(block, "Reading"), c.reading[t - 1]);
      } else {
        // How many sectors a jittered read spoils is the paranoia layer's
        // business; that they were all settled is ours.
        EXPECT_EQ(LogField(block, "Reading").rfind("burst read not accurate; secure re-read: ", 0), 0u);
        EXPECT_NE(LogField(block, "Reading").find(", 0 never agreed"), std::string::npos);
      }
      const std::string pcm = DecodeToPcm(music_ / ("Track 0" + std::to_string(t) + ".flac"));
      EXPECT_EQ(pcm == TrackPcm(t), c.exact[t - 1]);
      EXPECT_EQ(int64_t(pcm.size()), int64_t(Extent(t).sector_count) * 2352);
      const double asked = double(r.sectors_asked) / Extent(t).sector_count;
      EXPECT_LE(asked, c.most_asked[t - 1]);
      EXPECT_GE(asked, c.least_asked[t - 1]);
      EXPECT_EQ(LogField(block, "Sectors asked of the drive"), std::to_string(r.sectors_asked));
      if (c.route == "200") {
        EXPECT_EQ(r.verdict.verdict == accuraterip::Verdict::Accurate, c.exact[t - 1]);
      }
    }
    // Silence where no two reads agreed, the disc's PCM everywhere else.
    if (c.reading[1].find("2 never agreed") != std::string::npos) {
      std::string want = TrackPcm(2);
      std::fill(want.begin() + 200 * 2352, want.begin() + 202 * 2352, '\0');
      EXPECT_EQ(DecodeToPcm(music_ / "Track 02.flac"), want);
      EXPECT_EQ(session_->results[1].sectors_replaced, 2);
    }
    EXPECT_EQ(riplog::CheckLog((music_ / Logs().front()).string()).status, riplog::LogCheck::Intact);
  }
}

// The CUETools database judges the reads that were kept, whichever they were.
TEST_F(SecureRipTest, TheCuetoolsDatabaseSumsOnlyTheReadsThatWereKept) {
  for (int jitter_correction : {1, 0}) {
    SCOPED_TRACE(jitter_correction);
    fs::remove_all(music_);
    observer_.errors.clear();
    MakeDisc({75 * 8, 75 * 9, 75 * 8});
    const std::string faults = "flipbits " + std::to_string(Extent(2).first_sector + 50) + " " +
                               std::to_string(Extent(2).first_sector + 51) + " 30\n";
    std::ofstream(cue_.string() + ".faults") << faults;
    ServeRecordOfImage("200", true, "200");
    SetReadOffset(DriveOptionsKey(u'D'), 0);
    SetOption(u"JitterCorrection", jitter_correction);
    Run(Job(6));
    EXPECT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    const std::string log = LogText();
    EXPECT_NE(log.find("CTDB disc: Accurately ripped (5/5)"), std::string::npos) << log;
    EXPECT_EQ(DecodeToPcm(music_ / "Track 02.flac"), TrackPcm(2));
  }
}

// An observer that acts when the second track's bar starts over: its second
// read has begun.
class AtSecondRead : public RecordingObserver {
 public:
  explicit AtSecondRead(std::function<void()> act) : act_(std::move(act)) {}
  void SetCurrentTrackText(const std::u16string& text) override {
    RecordingObserver::SetCurrentTrackText(text);
    resets_ = 0;
  }
  void ResetTrackBar(int32_t bytes) override {
    RecordingObserver::ResetTrackBar(bytes);
    if (++resets_ == 2 && !acted_) {
      acted_ = true;
      act_();
    }
  }
  bool acted() const { return acted_; }

 private:
  int resets_ = 0;
  bool acted_ = false;
  const std::function<void()> act_;
};

// A cancel during the second read: a secure rip drops the track (its burst
// read was not verified), a burst rip keeps its whole first read or drops
// it; no later track starts, no temporary file stays.
TEST_F(SecureRipTest, ACancelDuringTheSecondReadLeavesTheTrackWholeOrAbsent) {
  for (int jitter_correction : {1, 0}) {
    SCOPED_TRACE(jitter_correction);
    MakeKnownDisc("flipbits", 100, 103, " 50\nspeed 3000");
    SetOption(u"JitterCorrection", jitter_correction);
    control_.cancel = 0;
    AtSecondRead observer([&] { control_.cancel = 1; });
    Job(6);
    RunRipJob(*session_, control_, observer);
    ASSERT_TRUE(observer.acted());
    EXPECT_EQ(DecodeToPcm(music_ / "Track 01.flac"), TrackPcm(1));
    EXPECT_FALSE(fs::exists(music_ / "Track 03.flac"));
    EXPECT_EQ(session_->results.size(), 2u);  // track 3 never started
    const bool kept = fs::exists(music_ / "Track 02.flac");
    if (jitter_correction) {
      EXPECT_FALSE(kept);
    }
    // Whole or absent: a kept file is the first read, complete.
    if (kept) {
      EXPECT_EQ(DecodeToPcm(music_ / "Track 02.flac").size(), TrackPcm(2).size());
    }
    // A kept first read is the one AccurateRip did not verify.
    EXPECT_EQ(observer.Errors(),
              std::vector<std::u16string>{kept ? u"Track 02.flac: The rip is not accurate according to AccurateRip."
                                               : u"Track 02.flac: Canceled."});
    for (const fs::path& f : FilesUnder(music_))
      EXPECT_TRUE(f.extension() == ".flac" || f.extension() == ".log") << f;
  }
}

// A pause during the second read holds it: nothing more goes to the encoder
// until the pause ends, and the track then ends exact.
TEST_F(SecureRipTest, APauseDuringTheSecondReadHoldsItUntilItEnds) {
  MakeKnownDisc("flipbits", 100, 103, " 50");
  SetOption(u"JitterCorrection", 1);
  ManualResetEvent paused(false);
  AtSecondRead observer([&] {
    control_.pause->Reset();
    paused.Set();
  });
  RipJob& job = Job(6);
  bool waited = false;
  int32_t done_at_pause = -1;
  int finished_at_pause = -1;
  std::thread resumer([&] {
    paused.Wait();
    waited = WaitUntil([&] { return control_.pause->Waiters() > 0; });
    done_at_pause = job.track_done.load();
    finished_at_pause = observer.finished.load();
    control_.pause->Set();
  });
  RunRipJob(*session_, control_, observer);
  resumer.join();
  EXPECT_TRUE(waited) << "nothing waited on the pause";
  // Nothing of the second read had reached the encoder, and the job was
  // still going.
  EXPECT_EQ(done_at_pause, 0);
  EXPECT_EQ(finished_at_pause, 0);
  EXPECT_TRUE(observer.Errors().empty()) << ToUtf8(observer.Errors().front());
  for (int t = 1; t <= 3; ++t) EXPECT_EQ(DecodeToPcm(music_ / ("Track 0" + std::to_string(t) + ".flac")), TrackPcm(t));
  EXPECT_EQ(session_->results[1].read_path, TrackResult::ReadPath::Compared);
}

}  // namespace
}  // namespace tonvik
