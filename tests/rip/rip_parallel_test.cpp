// The rip job with several encoders at once: the files are those of a rip
// with one, a failing encoder costs only its own track, overwrite questions
// come one at a time in track order while other tracks encode, and a pause
// holds every encoder.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>

#include "rip/rip_job_fixture.h"

namespace tonvik {
namespace {

class RipParallelTest : public RipJobTest {
 protected:
  // The files of a rip of the whole disc in the format with the given number
  // of encoder threads: name and decoded PCM (with `bytes`, the file's bytes).
  std::map<std::string, std::string> RipWith(int format, int threads, bool bytes = false) {
    SetOption(u"EncoderThreads", threads);
    fs::remove_all(music_);
    observer_.errors.clear();
    RipJob& job = Job(format);
    Run(job);
    EXPECT_TRUE(observer_.Errors().empty()) << ToUtf8(observer_.Errors().front());
    EXPECT_EQ(job.total_done.load(), uint32_t(job.total_bytes.load()));
    std::map<std::string, std::string> files;
    for (const fs::path& f : FilesUnder(music_))
      if (f.extension() != ".log") files[f.string()] = bytes ? Slurp(music_ / f) : DecodeToPcm(music_ / f);
    return files;
  }
};

TEST_F(RipParallelTest, EveryFormatGivesTheFilesOfARipWithOneEncoder) {
  // Six tracks of music-like signal, more than the workers, of unequal length
  // so that they finish out of order.
  MakeDisc({75 * 6, 75 * 2, 75 * 5 + 11, 75, 75 * 4, 75 * 3});
  // The WMA runtime as the build made it.
  reg::Key::Create(reg::Root::LocalMachine, kWindowsVersionKey)
      ->SetString(u"SystemModulesDir", FromUtf8(TONVIK_BINARY_DIR "/src/modules/wmvcore/"));
  for (int format : {1, 2, 3, 4, 5, 6}) {
    SCOPED_TRACE(format);
    const auto one = RipWith(format, 1);
    ASSERT_EQ(one.size(), 6u);
    for (const auto& [name, pcm] : one) EXPECT_FALSE(pcm.empty()) << name;
    const auto several = RipWith(format, 4);
    EXPECT_TRUE(one == several) << "the files differ from those of a rip with one encoder";
    // Byte for byte too, but for WMA, whose files carry their own ID and time.
    if (format != 3) {
      EXPECT_TRUE(RipWith(format, 1, true) == RipWith(format, 3, true));
    }
    // Lossless: the disc's own audio.
    if (format == 1 || format == 5 || format == 6) {
      int t = 0;
      for (const auto& [name, pcm] : several) EXPECT_TRUE(pcm == TrackPcm(++t)) << name;
    }
  }
}

TEST_F(RipParallelTest, AnEncoderThatFailsCostsOnlyItsOwnTrack) {
  MakeDisc({75 * 3, 75 * 3, 75 * 3, 75 * 3});
  SetOption(u"EncoderThreads", 3);
  // A folder where track 2's file should go: its encoder cannot put the
  // file in place, while the others encode beside it.
  fs::create_directories(music_ / "Track 02.flac" / "in the way");
  Run(Job(6));
  ASSERT_EQ(session_->results.size(), 4u);
  for (const TrackResult& r : session_->results) {
    SCOPED_TRACE(r.track);
    if (r.track == 2) {
      EXPECT_FALSE(r.written);
      ASSERT_EQ(r.errors.size(), 1u);
      EXPECT_EQ(observer_.Errors(), std::vector<std::u16string>{u"Track 02.flac: " + r.errors[0]});
    } else {
      EXPECT_TRUE(r.written);
      EXPECT_TRUE(r.errors.empty());
      EXPECT_TRUE(DecodeToPcm(music_ / r.file) == TrackPcm(r.track));
    }
  }
  EXPECT_TRUE(fs::is_directory(music_ / "Track 02.flac" / "in the way"));
}

// Asks on the job thread; the question for a track waits until the file of
// the track before it exists, which only a worker encoding beside the
// question can make.
class WaitingPrompt : public OverwritePrompt {
 public:
  WaitingPrompt(fs::path music) : music_(std::move(music)) {}
  Answer AskOverwrite(const std::u16string& path) override {
    const int now = ++asking_;
    std::lock_guard<std::mutex> lock(mutex_);
    most_at_once_ = std::max(most_at_once_, now);
    const std::string name = fs::path(path).filename().string();
    asked_.push_back(name);
    const int track = name[7] - '0';
    const fs::path before = music_ / ("Track 0" + std::to_string(track - 1) + ".flac");
    encoded_beside_ &= testing::WaitUntil([&] { return fs::exists(before); });
    --asking_;
    return {true, false};
  }
  std::vector<std::string> asked_;
  int most_at_once_ = 0;
  bool encoded_beside_ = true;

 private:
  const fs::path music_;
  std::atomic<int> asking_{0};
  std::mutex mutex_;
};

TEST_F(RipParallelTest, OverwriteQuestionsComeOneAtATimeInTrackOrderWhileOthersEncode) {
  MakeDisc({75 * 4, 75 * 4, 75 * 4});
  SetOption(u"EncoderThreads", 2);
  for (const char* old : {"Track 02.flac", "Track 03.flac"}) std::ofstream(music_ / old) << "old";
  WaitingPrompt prompt(music_);
  prompt_ = &prompt;
  Run(Job(6));
  EXPECT_TRUE(observer_.Errors().empty());
  EXPECT_EQ(prompt.asked_, (std::vector<std::string>{"Track 02.flac", "Track 03.flac"}));
  EXPECT_EQ(prompt.most_at_once_, 1);
  EXPECT_TRUE(prompt.encoded_beside_);
  for (int t = 1; t <= 3; ++t)
    EXPECT_TRUE(DecodeToPcm(music_ / ("Track 0" + std::to_string(t) + ".flac")) == TrackPcm(t));
}

// Pauses once the job has handed over the third track's first chunk, while
// the first two may still encode; then cancels and resumes. A worker that
// was past the pause finishes at most its one write; no track is left
// half-written, and the fourth never starts.
TEST_F(RipParallelTest, APauseAndACancelWithSeveralEncodersRunning) {
  MakeDisc({75 * 8, 75 * 8, 3000, 75});
  SetOption(u"EncoderThreads", 2);
  RipJob& job = Job(5);
  ManualResetEvent paused(false);
  class AtThirdTrack : public RecordingObserver {
   public:
    std::function<void()> act;
    int started = 0;
    void ResetTrackBar(int32_t bytes) override {
      RecordingObserver::ResetTrackBar(bytes);
      ++started;
    }
    void TrackProgress(int32_t) override {
      if (started == 3 && act) {
        act();
        act = nullptr;
      }
    }
  } observer;
  observer.act = [&] {
    control_.pause->Reset();
    paused.Set();
  };
  uint32_t encoded_at_pause = 0;
  bool waited = false;
  std::thread resumer([&] {
    paused.Wait();
    waited = WaitUntil([&] { return control_.pause->Waiters() >= 1; });
    encoded_at_pause = job.total_done.load();
    control_.cancel = 1;
    control_.pause->Set();
  });
  RunRipJob(*session_, control_, observer);
  resumer.join();
  EXPECT_TRUE(waited);
  EXPECT_LE(job.total_done.load(), encoded_at_pause + 2 * 61152);
  std::vector<std::u16string> expected;
  for (const TrackResult& r : session_->results) {
    SCOPED_TRACE(r.track);
    EXPECT_EQ(r.written, fs::exists(music_ / r.file));
    if (r.written)
      EXPECT_TRUE(DecodeToPcm(music_ / r.file) == TrackPcm(r.track));
    else
      expected.push_back(r.file + u": Canceled.");
  }
  EXPECT_FALSE(expected.empty());  // the third track at least
  EXPECT_EQ(observer.Errors(), expected);
  EXPECT_EQ(session_->results.size(), 3u);
}

TEST(EncoderThreadCount, ZeroMeansEveryCoreAndTheValueIsBounded) {
  EXPECT_EQ(EncoderThreadCount(0), int(std::max(1u, std::thread::hardware_concurrency())));
  EXPECT_EQ(EncoderThreadCount(1), 1);
  EXPECT_EQ(EncoderThreadCount(3), 3);
  EXPECT_EQ(EncoderThreadCount(100000), 64);
}

}  // namespace
}  // namespace tonvik
