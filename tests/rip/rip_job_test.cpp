// The rip job without windows: real disc images through the image drive, the
// real reader threads and encoders, files decoded by independent tools.
#include <gtest/gtest.h>

#include "rip/rip_job_fixture.h"

namespace tonvik {
namespace {

TEST_F(RipJobTest, AWholeDiscBecomesOneFilePerTrackInEveryLosslessFormatBitExact) {
  MakeDisc({75 * 2, 1, 75 * 3 + 17});
  int jobs = 0;
  for (int format : {1, 5, 6}) {
    SCOPED_TRACE(format);
    fs::remove_all(music_);
    RipJob& job = Job(format);
    Run(job);
    ++jobs;
    EXPECT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    const std::string ext = format == 1 ? ".wav" : format == 5 ? ".ape" : ".flac";
    ASSERT_EQ(FilesUnder(music_), (std::vector<fs::path>{"Track 01" + ext, "Track 02" + ext,
                                                         "Track 03" + ext, "disc.log"}));
    for (int t = 1; t <= 3; ++t) EXPECT_EQ(DecodeToPcm(music_ / ("Track 0" + std::to_string(t) + ext)), TrackPcm(t));
    EXPECT_EQ(job.total_done.load(), uint32_t(job.total_bytes.load()));
    EXPECT_EQ(observer_.finished.load(), jobs);
  }
}

TEST_F(RipJobTest, AnEnhancedCdsLastAudioTrackEndsAtTheFirstSession) {
  // Without the session gap in its extent the last track is exactly its own
  // audio: no silence appended, none reported as unreadable, totals to match.
  MakeDisc({75 * 3, 75 * 2 + 5}, "", true);
  ASSERT_EQ(disc_.selection, (std::vector<int32_t>{1, 2}));
  RipJob& job = Job(1);
  Run(job);
  EXPECT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
  EXPECT_EQ(fs::file_size(music_ / "Track 02.wav"), 46u + (75 * 2 + 5) * 2352);
  EXPECT_EQ(DecodeToPcm(music_ / "Track 02.wav"), TrackPcm(2));
  EXPECT_EQ(job.total_bytes.load(), (75 * 5 + 5) * 2352);
  EXPECT_EQ(job.total_done.load(), uint32_t(job.total_bytes.load()));
}

TEST_F(RipJobTest, LossyFormatsGiveDecodableFilesOfTheTracksLength) {
  MakeDisc({75 * 4});
  for (int format : {2, 4}) {
    SCOPED_TRACE(format);
    RipJob& job = Job(format);
    Run(job);
    ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    const fs::path file = music_ / (format == 2 ? "Track 01.mp3" : "Track 01.ogg");
    // Lossy codecs pad a little; the decoded length stays within 0.1 s.
    const double seconds = DecodeToPcm(file).size() / 176400.0;
    EXPECT_NEAR(seconds, 4.0, 0.1);
  }
  // The user's MP3ForceCBR reaches the encoder through the job: a VBR file
  // opens with its Xing frame, a constant-rate one with audio.
  for (int forced : {0, 1}) {
    SCOPED_TRACE(forced);
    SetOption(u"MP3ForceCBR", forced);
    fs::remove_all(music_);
    Run(Job(2));
    ASSERT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    const std::string head = Slurp(music_ / "Track 01.mp3").substr(0, 4096);
    EXPECT_EQ(head.find("Xing") != std::string::npos, forced == 0);
  }
}

TEST_F(RipJobTest, NamesAndSubFoldersComeFromTheTemplateAndTheDiscInformation) {
  MakeDisc({75, 75});
  metadata_.artist = "AC/DC";
  metadata_.album = "Live.";
  metadata_.titles = {"Intro", "Thunder."};
  SetOption(u"CreateArtistSubfolder", 1);
  SetOption(u"CreateAlbumSubfolder", 1);
  RipJob& job = Job(6);
  Run(job);
  EXPECT_TRUE(observer_.Errors().empty());
  EXPECT_EQ(FilesUnder(music_),
            (std::vector<fs::path>{"ACDC/Live/ACDC - [01] Intro.flac", "ACDC/Live/ACDC - [02] Thunder.flac",
                                   "ACDC/Live/Live.log"}));
  auto texts = observer_.Texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), u"Current: Intro"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), u"Current: Thunder."), texts.end());
}

TEST_F(RipJobTest, WithoutDiscInformationNoSubFoldersAreMadeAndTracksAreNumbered) {
  MakeDisc({75});
  SetOption(u"CreateArtistSubfolder", 1);
  Run(Job(1));
  EXPECT_EQ(FilesUnder(music_), (std::vector<fs::path>{"Track 01.wav", "disc.log"}));
}

// Declines every overwrite.
class DeclineAll : public OverwritePrompt {
 public:
  Answer AskOverwrite(const std::u16string&) override {
    ++asked;
    return {false, false};
  }
  int asked = 0;
};

TEST_F(RipJobTest, FailureTableEntriesAndWhatHappensToTheFiles) {
  MakeDisc({75, 75});
  // A declined overwrite: "file skipped", the old file left as it was.
  std::ofstream(music_ / "Track 01.flac") << "old";
  DeclineAll decline;
  prompt_ = &decline;
  Run(Job(6));
  prompt_ = nullptr;
  ASSERT_EQ(observer_.Errors(), std::vector<std::u16string>{u"Track 01.flac: file skipped"});
  EXPECT_EQ(Slurp(music_ / "Track 01.flac"), "old");
  EXPECT_TRUE(fs::exists(music_ / "Track 02.flac"));
  // The session's results say the same, track by track.
  ASSERT_EQ(session_->results.size(), 2u);
  EXPECT_EQ(session_->results[0].file, u"Track 01.flac");
  EXPECT_FALSE(session_->results[0].written);
  EXPECT_EQ(session_->results[0].errors, std::vector<std::u16string>{u"file skipped"});
  EXPECT_TRUE(session_->results[1].written);
  EXPECT_EQ(session_->results[1].sectors_read, 75);
  EXPECT_TRUE(session_->results[1].errors.empty());

  // Unknown format: no file at all; an encoder whose run-time module is
  // missing: its message for every track, and no file either.
  observer_.errors.clear();
  Run(Job(9));
  EXPECT_EQ(observer_.Errors(), (std::vector<std::u16string>{u"Track 01: unknown target format",
                                                             u"Track 02: unknown target format"}));
  observer_.errors.clear();
  reg::Key::Create(reg::Root::LocalMachine, kWindowsVersionKey)
      ->SetString(u"SystemModulesDir", FromUtf8((hives_.root() / "no-modules").string()));
  Run(Job(3));
  EXPECT_EQ(observer_.Errors(),
            (std::vector<std::u16string>{
                u"Track 01.wma: WMA encoding libraries aren't installed. Please reinstall Tonvik.",
                u"Track 02.wma: WMA encoding libraries aren't installed. Please reinstall Tonvik."}));
  EXPECT_FALSE(fs::exists(music_ / "Track 01.wma"));
}

// A reader that delivers half its track and then fails.
void HalfThenFail(std::shared_ptr<ReaderJob> job) {
  std::vector<uint8_t> sector(2352, 0x55);
  for (int i = 0; i < job->sector_count / 2; ++i) job->pipe->WriteAll(sector.data(), sector.size());
  job->error_flag = 1;
  job->pipe->CloseWrite();
  job->written.End();
  job->finished = true;
}

TEST_F(RipJobTest, AReaderFailureInTrackTwoOfThreeKeepsTracksOneAndThree) {
  MakeDisc({75, 150, 75});
  std::ofstream(music_ / "Track 02.flac") << "the file being overwritten";
  SetOption(u"AlwaysOverwrite", 1);
  static std::atomic<int> calls;
  calls = 0;
  control_.reader = [](std::shared_ptr<ReaderJob> job) {
    if (++calls == 2) return HalfThenFail(job);
    ReaderThreadMain(job);
  };
  Run(Job(6));
  EXPECT_EQ(observer_.Errors(), std::vector<std::u16string>{u"Track 02.flac: CD read error."});
  EXPECT_EQ(FilesUnder(music_), (std::vector<fs::path>{"Track 01.flac", "Track 02.flac", "Track 03.flac", "disc.log"}));
  EXPECT_EQ(Slurp(music_ / "Track 02.flac"), "the file being overwritten");
  EXPECT_EQ(DecodeToPcm(music_ / "Track 03.flac"), TrackPcm(3));
}

// A track several times the reader's paranoia block, with reads that come
// back shifted in places spread over it (block starts and ends included):
// with jitter correction the file is the image's PCM exactly, without it the
// shifts reach the file (which shows the fault bites).
TEST_F(RipJobTest, JitterCorrectionGivesTheExactPcmAcrossParanoiaBlocks) {
  MakeDisc({75 * 20}, "jitter 0 40 3\njitter 200 215 -5\njitter 600 700 7\njitter 1400 1499 2\n");
  struct Case {
    int32_t jitter;
    bool exact;
  };
  for (const Case c : {Case{1, true}, Case{0, false}}) {
    SCOPED_TRACE(c.jitter);
    fs::remove_all(music_);
    SetOption(u"JitterCorrection", c.jitter);
    Run(Job(1));
    EXPECT_TRUE(observer_.Errors().empty());
    EXPECT_EQ(DecodeToPcm(music_ / "Track 01.wav") == TrackPcm(1), c.exact);
  }
}

TEST_F(RipJobTest, UnreadableSectorsAreListedAndTheFileIsKept) {
  MakeDisc({75 * 3, 75 * 3}, "unreadable 300 309\n");  // inside track 2
  Run(Job(1));
  auto errors = observer_.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind(u"Track 02.wav: ", 0), 0u) << ToUtf8(errors[0]);
  EXPECT_NE(errors[0].find(u"sectors could not be read and were replaced by silence."), std::u16string::npos);
  EXPECT_EQ(fs::file_size(music_ / "Track 02.wav"), 46u + 75 * 3 * 2352);
  ASSERT_EQ(session_->results.size(), 2u);
  for (const TrackResult& r : session_->results) {
    EXPECT_TRUE(r.written) << r.track;
    EXPECT_EQ(r.sectors_read, 75 * 3) << r.track;
  }
  EXPECT_EQ(session_->results[0].sectors_replaced, 0);
  const int32_t replaced = session_->results[1].sectors_replaced;
  EXPECT_GE(replaced, 10);  // the ten sectors of the fault, at least
  EXPECT_EQ(errors[0], u"Track 02.wav: " + FromUtf8(std::to_string(replaced)) +
                           u" sectors could not be read and were replaced by silence.");
}

// Acts once, from the job's own thread, when the current track has passed
// the given number of bytes: the point in the track is exact however busy
// the machine is.
class AtTrackProgress : public RecordingObserver {
 public:
  AtTrackProgress(int32_t bytes, std::function<void()> act) : bytes_(bytes), act_(std::move(act)) {}
  void TrackProgress(int32_t track_done) override {
    if (!acted_ && track_done >= bytes_) {
      acted_ = true;
      act_();
    }
  }

 private:
  const int32_t bytes_;
  const std::function<void()> act_;
  bool acted_ = false;
};

TEST_F(RipJobTest, CancelStopsTheTrackDeletesNothingOldAndStartsNoOtherTrack) {
  // A slow drive, so the reader is still at work when the cancel comes.
  MakeDisc({75 * 20, 75 * 20}, "speed 1500\n");
  RipJob& job = Job(6);
  AtTrackProgress observer(2352 * 100, [&] { control_.cancel = 1; });
  RunRipJob(*session_, control_, observer);
  // The chunk read before the job saw the flag is the most that follows it.
  EXPECT_GE(job.track_done.load(), 2352 * 100);
  EXPECT_LE(job.track_done.load(), 2352 * (100 + 26));
  EXPECT_EQ(observer.Errors(), std::vector<std::u16string>{u"Track 01.flac: Canceled."});
  EXPECT_EQ(observer.track_ranges.size(), 1u);  // track 2 never started
  EXPECT_TRUE(FilesUnder(music_).empty());
  EXPECT_TRUE(observer.opened.empty());
}

TEST_F(RipJobTest, CancelWhilePausedResumesStopsAndLists) {
  // The paranoia layer reads up to 1200 sectors ahead before the first one
  // comes out, so the track is longer than that: the pause comes while the
  // reader still has sectors to deliver.
  MakeDisc({3000, 75}, "speed 3000\n");
  RipJob& job = Job(1);
  ManualResetEvent paused(false);
  int32_t done_at_pause = -1;
  AtTrackProgress observer(2352 * 26, [&] {
    control_.pause->Reset();
    done_at_pause = job.track_done.load();
    paused.Set();
  });
  bool waited = false;
  std::thread canceller([&] {
    paused.Wait();
    // The job (or, with the pipe empty, its reader) comes to wait on the pause.
    waited = WaitUntil([&] { return control_.pause->Waiters() > 0; });
    control_.cancel = 1;
    control_.pause->Set();
  });
  RunRipJob(*session_, control_, observer);
  canceller.join();
  EXPECT_TRUE(waited) << "nothing waited on the pause";
  // Nothing went to the encoder while paused, nor after the cancel.
  EXPECT_EQ(job.track_done.load(), done_at_pause);
  EXPECT_EQ(observer.Errors(), std::vector<std::u16string>{u"Track 01.wav: Canceled."});
  EXPECT_TRUE(FilesUnder(music_).empty());
}

// Cancels as soon as the job shows the given text.
class CancelAtText : public RecordingObserver {
 public:
  CancelAtText(RipControl& c, std::u16string text) : control(c), text_(std::move(text)) {}
  void SetCurrentTrackText(const std::u16string& text) override {
    RecordingObserver::SetCurrentTrackText(text);
    if (text == text_) control.cancel = 1;
  }
  RipControl& control;

 private:
  const std::u16string text_;
};

// However far each encoder has come when the cancel comes, every track is
// either whole (its file in place, its audio exact, no entry) or absent
// (no file, "Canceled."); no temporary file stays and no later track starts.
TEST_F(RipJobTest, ACancelWhileTracksEncodeLeavesEachTrackWholeOrAbsent) {
  MakeDisc({75 * 20, 75 * 20, 75 * 20, 75 * 20});
  SetOption(u"EncoderThreads", 2);
  struct Case {
    const char* name;
    std::u16string at;
  } const cases[] = {
      {"while track 3 is read", u"Current: Track 03"},
      {"while the last track encodes", u"Current: Track 04 (encoding)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(music_);
    control_.cancel = 0;
    CancelAtText observer(control_, c.at);
    Job(5);
    RunRipJob(*session_, control_, observer);
    std::vector<std::u16string> expected_errors;
    std::vector<fs::path> expected_files;
    for (const TrackResult& r : session_->results) {
      SCOPED_TRACE(r.track);
      const fs::path file = music_ / r.file;
      EXPECT_EQ(r.written, fs::exists(file));
      if (r.written) {
        expected_files.push_back(r.file);
        EXPECT_TRUE(r.errors.empty());
        EXPECT_TRUE(DecodeToPcm(file) == TrackPcm(r.track));
      } else {
        EXPECT_EQ(r.errors, std::vector<std::u16string>{u"Canceled."});
        expected_errors.push_back(r.file + u": Canceled.");
      }
    }
    const auto texts = observer.Texts();
    if (c.at == u"Current: Track 03") {
      EXPECT_EQ(session_->results.size(), 3u);
      EXPECT_EQ(std::find(texts.begin(), texts.end(), u"Current: Track 04"), texts.end());
    }
    EXPECT_EQ(observer.Errors(), expected_errors);  // in track order
    if (!expected_files.empty()) expected_files.push_back("disc.log");
    std::sort(expected_files.begin(), expected_files.end());
    EXPECT_EQ(FilesUnder(music_), expected_files);
  }
}

TEST_F(RipJobTest, ADriveThatCannotBeOpenedFailsTheJobInsteadOfRippingSilence) {
  MakeDisc({75});
  MapDrive((hives_.root() / "gone.cue").string());
  SetOption(u"OpenFolderWhenDone", 1);
  SetOption(u"BeepWhenDone", 1);
  Run(Job(6));
  EXPECT_EQ(observer_.Errors(),
            std::vector<std::u16string>{u"Cannot access CD drive: No such file or directory."});
  EXPECT_TRUE(FilesUnder(music_).empty());
  EXPECT_EQ(observer_.finished.load(), 1);
  EXPECT_TRUE(observer_.opened.empty());
}

TEST_F(RipJobTest, EndActionsFollowTheOptions) {
  MakeDisc({75});
  SetOption(u"OpenFolderWhenDone", 1);
  SetOption(u"BeepWhenDone", 1);
  SetOption(u"EjectWhenDone", 1);
  Run(Job(1));
  EXPECT_EQ(observer_.sounds.load(), 1);
  ASSERT_EQ(observer_.opened.size(), 1u);
  EXPECT_EQ(observer_.opened[0], music_.u16string() + u"/");
}

using accuraterip::Verdict;
constexpr char16_t kNotAccurate[] = u"The rip is not accurate according to AccurateRip.";

TEST_F(RipVerifyTest, VerdictsErrorsAndTheLogForEachAnswerAndOffset) {
  struct Case {
    const char* name;
    int32_t drive_offset;     // of the image drive
    std::string route;        // "200": the record of the image
    int32_t accuraterip;      // the user's option
    std::optional<int32_t> user_offset, stored_offset;
    int flip_track;           // 0: none
    bool enhanced;
    std::vector<Verdict> verdicts;  // per track
    bool requested;
    std::string offset_line;        // the log's
    std::optional<int32_t> stored_after;
    bool with_450 = true;           // the record has the sums of sector 450
  };
  const Verdict A = Verdict::Accurate, N = Verdict::NotAccurate, P = Verdict::NotPresent,
                U = Verdict::Unreachable;
  const std::string none = "0 (not known: not set by the user, stored or detected)";
  const Case cases[] = {
      {"the image's record", 0, "200", 1, 0, {}, 0, false, {A, A, A}, true, "+0 samples (set by the user)", {}},
      {"a sample flipped in track 2", 0, "200", 1, 0, {}, 2, false, {A, N, A}, true, "+0 samples (set by the user)", {}},
      {"no record", 0, "404", 1, {}, {}, 0, false, {P, P, P}, true, none, {}},
      {"a server that never answers", 0, "hang", 1, {}, {}, 0, false, {U, U, U}, true, none, {}},
      {"verification off", 0, "200", 0, {}, {}, 0, false, {U, U, U}, false, none, {}},
      {"drive offset +667, user offset +667", 667, "200", 1, 667, {}, 0, false, {A, A, A}, true,
       "+667 samples (set by the user)", {}},
      {"drive offset -667, user offset -667", -667, "200", 1, -667, {}, 0, false, {A, A, A}, true,
       "-667 samples (set by the user)", {}},
      {"the user's offset comes before the stored one", 667, "200", 1, 667, -6, 0, false, {A, A, A}, true,
       "+667 samples (set by the user)", -6},
      {"drive offset +667 stored for the model", 667, "200", 1, {}, 667, 0, false, {A, A, A}, true,
       "+667 samples (stored for the drive model)", 667},
      {"drive offset +667 found on the first rip and stored", 667, "200", 1, {}, {}, 0, false, {A, A, A}, true,
       "+667 samples (detected)", 667},
      {"drive offset -1164 found on the first rip and stored", -1164, "200", 1, {}, {}, 0, false, {A, A, A}, true,
       "-1164 samples (detected)", -1164},
      {"drive offset +667 found though track 2 has a flipped sample", 667, "200", 1, {}, {}, 2, false, {A, N, A},
       true, "+667 samples (detected)", 667},
      {"drive offset +667, a record without sector 450", 667, "200", 1, {}, {}, 0, false, {N, N, N}, true, none,
       {}, false},
      {"enhanced CD, drive offset +667", 667, "200", 1, 667, {}, 0, true, {A, A}, true,
       "+667 samples (set by the user)", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(music_);
    observer_.errors.clear();
    const std::string faults = c.drive_offset ? "offset " + std::to_string(c.drive_offset) + "\n" : "";
    if (c.enhanced)
      MakeDisc({75 * 7, 75 * 8}, faults, true);
    else
      MakeDisc({75 * 7, 75 * 8 + 3, 75 * 9}, faults);
    ServeRecordOfImage(c.route, c.with_450);
    std::vector<std::string> ripped_pcm;  // what the disc holds, the flip included
    if (c.flip_track) FlipSampleOf(c.flip_track);
    for (int32_t t : disc_.selection) ripped_pcm.push_back(TrackPcm(t));
    SetOption(u"AccurateRip", c.accuraterip);
    SetReadOffset(DriveOptionsKey(u'D'), c.user_offset);
    SetReadOffset(kImageModelKey, c.stored_offset);
    // Short, so that the server that never answers ends the wait soon.
    control_.accuraterip_bound = std::chrono::milliseconds(c.route == "hang" ? 300 : 10000);
    Run(Job(1));

    ASSERT_EQ(session_->results.size(), c.verdicts.size());
    const bool corrected = c.verdicts.front() == A;  // the rip used the drive's offset
    const int32_t offset = corrected ? c.drive_offset : 0;
    std::vector<std::u16string> expected_errors;
    std::vector<fs::path> expected_files{"disc.log"};
    for (size_t i = 0; i < c.verdicts.size(); ++i) {
      const TrackResult& r = session_->results[i];
      SCOPED_TRACE(r.track);
      EXPECT_EQ(r.verdict.verdict, c.verdicts[i]);
      // The file is kept whatever the verdict, and it is what the disc holds
      // (the drive's offset corrected when it was known or found); what the
      // correction would take from before the disc's start or past its end
      // is silence.
      EXPECT_TRUE(r.written);
      expected_files.push_back(ToUtf8(r.file));
      // The sums and the CRC are those of the file's PCM.
      const std::string pcm = DecodeToPcm(music_ / r.file);
      if (corrected || c.drive_offset == 0) {
        std::string expected = ripped_pcm[i];
        const size_t edge = size_t(std::abs(offset)) * 4;
        if (offset < 0 && i == 0) std::fill_n(expected.begin(), edge, '\0');
        if (offset > 0 && i + 1 == c.verdicts.size()) std::fill_n(expected.end() - edge, edge, '\0');
        EXPECT_TRUE(pcm == expected);
      }
      EXPECT_EQ(r.copy_crc, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(pcm.data()), uInt(pcm.size()))));
      int32_t peak = 0;
      for (size_t b = 0; b + 1 < pcm.size(); b += 2)
        peak = std::max<int32_t>(peak, std::abs(int16_t(uint8_t(pcm[b]) | (uint8_t(pcm[b + 1]) << 8))));
      EXPECT_EQ(r.peak, peak);
      if (c.verdicts[i] == Verdict::NotAccurate) {
        EXPECT_EQ(r.errors, std::vector<std::u16string>{kNotAccurate});
        expected_errors.push_back(r.file + u": " + kNotAccurate);
      } else {
        EXPECT_TRUE(r.errors.empty());
      }
    }
    EXPECT_EQ(observer_.Errors(), expected_errors);
    // Every rip leaves its log, whatever the database said.
    std::sort(expected_files.begin(), expected_files.end());
    EXPECT_EQ(FilesUnder(music_), expected_files);
    EXPECT_EQ(!server_->Requests().empty(), c.requested);
    const riplog::LogCheckResult check = riplog::CheckLog((music_ / "disc.log").string());
    EXPECT_EQ(check.status, riplog::LogCheck::Intact) << check.error;
    EXPECT_EQ(LogField(Slurp(music_ / "disc.log"), "Read offset"), c.offset_line);
    EXPECT_EQ(StoredOffset(), c.stored_after);
  }
}

TEST_F(RipVerifyTest, TheLogTellsWhatTheJobKnewAndASecondRipNumbersTheNext) {
  MakeDisc({75 * 7, 75 * 8});
  ServeRecordOfImage();
  reg::Key::Create(reg::Root::CurrentUser, DriveOptionsKey(u'D'))->SetDword(u"ReadOffset", 0);
  for (int rip = 1; rip <= 2; ++rip) Run(Job(6));
  EXPECT_EQ(Logs(), (std::vector<fs::path>{"disc (2).log", "disc.log"}));
  for (const fs::path& log : Logs()) {
    SCOPED_TRACE(log);
    EXPECT_EQ(riplog::CheckLog((music_ / log).string()).status, riplog::LogCheck::Intact);
    const std::string text = Slurp(music_ / log);
    for (const std::string& needle : {cue_.string(), riplog::AccurateRipIdText(Ids()), lookup::DiscIdFromToc(disc_.toc),
                                      std::string("Track 01.flac"), std::string("Track 02.flac")})
      EXPECT_NE(text.find(needle), std::string::npos) << needle;
    size_t accurate = 0;
    for (size_t at = 0; (at = text.find("Accurately ripped (confidence 3)", at)) != std::string::npos; ++at)
      ++accurate;
    EXPECT_EQ(accurate, 2u);
  }
  // WriteLog 0: verified, listed, but no log.
  SetOption(u"WriteLog", 0);
  Run(Job(6));
  EXPECT_EQ(Logs().size(), 2u);
  EXPECT_EQ(session_->results[1].verdict.verdict, Verdict::Accurate);
}

// A drive whose offset is not known waits for the record before its first
// track; a cancel ends that wait (the bound here is longer than any test may
// run, so a wait that only the bound ends fails by the test's timeout).
TEST_F(RipVerifyTest, ACancelEndsTheWaitForTheRecordBeforeTheFirstTrack) {
  MakeDisc({75 * 7, 75 * 8}, "offset 667\n");
  ServeRecordOfImage("hang");
  control_.accuraterip_bound = std::chrono::hours(1);
  Job(6);
  std::thread job([&] { RunRipJob(*session_, control_, observer_); });
  ASSERT_TRUE(testing::WaitUntil([&] { return !server_->Requests().empty(); }));
  control_.cancel = 1;
  job.join();
  EXPECT_TRUE(observer_.track_ranges.empty());  // no track started
  EXPECT_TRUE(FilesUnder(music_).empty());
  EXPECT_FALSE(StoredOffset());
}

// The CUETools database beside AccurateRip: its lines in the log, a track it
// verifies is no error whatever AccurateRip says, and it only judges a rip
// of the whole disc.
TEST_F(RipVerifyTest, TheCuetoolsDatabaseVerifiesBesideAccurateRip) {
  struct Case {
    const char* name;
    std::string ar_route, ctdb_route;
    int32_t ctdb_option;
    int foreign_ar_track;              // the record has other sums for it (0: none)
    std::vector<int32_t> selection;    // empty: the whole disc
    std::vector<Verdict> verdicts;     // AccurateRip's
    std::vector<std::string> disc_lines;   // after the TOCID line, which every asked case has
    std::vector<std::string> track_lines;  // the CTDB line of each track ("" none)
    bool asked;
    std::string summary;
  };
  const Verdict A = Verdict::Accurate, N = Verdict::NotAccurate, P = Verdict::NotPresent;
  const std::string ok = "CTDB: Accurately ripped (5/5)", every = "Every track was ripped accurately.";
  const Case cases[] = {
      {"both verify", "200", "200", 1, 0, {}, {A, A, A}, {"CTDB disc: Accurately ripped (5/5)"}, {ok, ok, ok}, true,
       every},
      {"only CTDB knows the disc", "404", "200", 1, 0, {}, {P, P, P}, {"CTDB disc: Accurately ripped (5/5)"},
       {ok, ok, ok}, true, every},
      {"CTDB verifies a track AccurateRip does not", "200", "200", 1, 2, {}, {A, N, A},
       {"CTDB disc: Accurately ripped (5/5)"}, {ok, ok, ok}, true, every},
      {"CTDB does not know the disc", "200", "404", 1, 0, {}, {A, A, A}, {"CTDB: not present"}, {"", "", ""}, true,
       every},
      {"CTDB never answers", "200", "hang", 1, 0, {}, {A, A, A}, {"CTDB: could not be reached"}, {"", "", ""}, true,
       every},
      {"CTDB turned off", "200", "200", 0, 0, {}, {A, A, A}, {}, {"", "", ""}, false, every},
      {"some tracks only", "200", "200", 1, 0, {1, 3}, {A, A},
       {"CTDB: not verified, the rip does not hold the whole disc"}, {"", ""}, true, every},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(music_);
    observer_.errors.clear();
    MakeDisc({75 * 7, 75 * 8 + 3, 75 * 9});
    if (!c.selection.empty()) disc_.selection = c.selection;
    ServeRecordOfImage(c.ar_route, true, c.ctdb_route, c.foreign_ar_track);
    SetOption(u"CTDB", c.ctdb_option);
    SetReadOffset(DriveOptionsKey(u'D'), 0);
    control_.accuraterip_bound = std::chrono::milliseconds(c.ctdb_route == "hang" ? 300 : 10000);
    Run(Job(6));

    ASSERT_EQ(session_->results.size(), c.verdicts.size());
    for (size_t i = 0; i < c.verdicts.size(); ++i) EXPECT_EQ(session_->results[i].verdict.verdict, c.verdicts[i]);
    // No entry in the error list: CTDB's word settles the track AccurateRip
    // does not verify.
    EXPECT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    bool asked = false;
    for (const std::string& r : server_->Requests()) asked |= r.find("/lookup2.php?") != std::string::npos;
    EXPECT_EQ(asked, c.asked);

    const std::string log = Slurp(music_ / "disc.log");
    EXPECT_EQ(riplog::CheckLog((music_ / "disc.log").string()).status, riplog::LogCheck::Intact);
    std::vector<std::string> ctdb_lines, track_lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("CTDB", 0) != 0) continue;
      if (line.rfind("CTDB: Accurately ripped", 0) == 0 || line.rfind("CTDB: No match", 0) == 0)
        track_lines.push_back(line);
      else
        ctdb_lines.push_back(line);
    }
    std::vector<std::string> expected_disc;
    if (c.asked) {
      expected_disc.push_back("CTDB TOCID: " + ctdb::TocId(*accuraterip::DiscTocFromReadToc(disc_.toc)));
      if (c.ctdb_route == "200" && c.selection.empty()) {
        char crc[32];
        std::snprintf(crc, sizeof crc, "CTDB disc CRC: %08x",
                      *[&] {
                        ctdb::DiscCrc crcs(ctdb::LayoutOf(*accuraterip::DiscTocFromReadToc(disc_.toc)));
                        for (int32_t t : {1, 2, 3}) {
                          const std::string pcm = TrackPcm(t);
                          crcs.Add(reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size());
                        }
                        return crcs.Disc(0);
                      }());
        expected_disc.push_back(crc);
      }
      expected_disc.insert(expected_disc.end(), c.disc_lines.begin(), c.disc_lines.end());
    }
    EXPECT_EQ(ctdb_lines, expected_disc) << log;
    std::vector<std::string> expected_tracks;
    for (const std::string& l : c.track_lines)
      if (!l.empty()) expected_tracks.push_back(l);
    EXPECT_EQ(track_lines, expected_tracks) << log;
    EXPECT_EQ(log.find("AccurateRip and CTDB disagree: CTDB verifies this track") != std::string::npos,
              c.foreign_ar_track != 0);
    EXPECT_NE(log.find(c.summary), std::string::npos) << log;
  }
}

}  // namespace
}  // namespace tonvik
