// Finding the hidden track before track 1 on the disc-image drive: a disc
// image whose only sound before track 1 is one sample, placed at the edges
// of what a rip of the hidden track delivers, read at several offsets.
#include "rip/hidden_track.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cdrom/cd_drive.h"
#include "cdrom/disc_check.h"
#include "cdrom/track_reader.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/temp_hives.h"

namespace tonvik {
namespace {

namespace fs = std::filesystem;
using cdrom::CdDrive;

constexpr int32_t kHidden = 10;  // sectors before track 1
constexpr int32_t kTrack1 = 20;
constexpr int32_t kSamples = 588;

class HiddenTrackTest : public ::testing::Test {
 protected:
  // A disc of kHidden + kTrack1 sectors, silent but for one stereo sample
  // (left channel 1) at `sample`, track 1's INDEX 01 at kHidden (INDEX 00 at
  // 0), or at 0 when `hidden` is false; the drive answers with `faults`.
  void MakeDisc(int64_t sample, bool hidden = true, const std::string& faults = "") {
    const fs::path dir = hives_.root() / "disc";
    fs::create_directories(dir);
    std::string bin(size_t(kHidden + kTrack1) * 2352, '\0');
    if (sample >= 0) bin[size_t(sample) * 4] = 1;
    std::ofstream(dir / "disc.bin", std::ios::binary) << bin;
    std::ofstream(dir / "disc.cue") << "FILE \"disc.bin\" BINARY\n  TRACK 01 AUDIO\n"
                                    << (hidden ? "    INDEX 00 00:00:00\n    INDEX 01 00:00:10\n"
                                               : "    INDEX 01 00:00:00\n");
    std::ofstream(dir / "faults") << faults;
    ::setenv("TONVIK_FAULTS", (dir / "faults").c_str(), 1);
    reg::Key::Create(reg::Root::CurrentUser, u"Software\\Quellbrook\\vandral\\Drives")
        ->SetString(u"D", FromUtf8((dir / "disc.cue").string()));
    const auto toc = accuraterip::DiscTocFromReadToc(cdrom::CheckDisc({u"D:\\"}).toc);
    ASSERT_TRUE(toc);
    toc_ = *toc;
    ASSERT_TRUE(drive_.Open(u'D'));
  }
  void TearDown() override { ::unsetenv("TONVIK_FAULTS"); }

  std::optional<cdrom::TrackExtent> Find(int32_t read_offset) {
    return FindHiddenTrack(drive_, toc_, read_offset, cancel_);
  }

  // Whether the rip of {0, kHidden} at the read offset, through the track
  // reader the job uses, delivers a sample that is not zero.
  bool RipHasSound(int32_t read_offset) {
    const std::atomic<const std::atomic<uint8_t>*> cancel{&cancel_};
    cdrom::TrackReader reader(drive_, cancel, 0, kHidden, false, read_offset, toc_.lead_out);
    std::vector<uint8_t> sector(2352);
    bool sound = false;
    for (int32_t i = 0; i < kHidden; ++i) {
      reader.ReadSector(sector.data());
      for (uint8_t b : sector) sound = sound || b != 0;
    }
    return sound;
  }

  testing::TempHives hives_;
  CdDrive drive_;
  accuraterip::DiscToc toc_;
  std::atomic<uint8_t> cancel_{0};
};

// Whatever the offset, the search says "hidden track" exactly when the rip
// of it would hold sound: the one sample at either edge of the window, just
// inside or just outside, and in the middle.
TEST_F(HiddenTrackTest, FoundExactlyWhenItsRipWouldHoldSound) {
  const int64_t last_hidden = int64_t(kHidden) * kSamples - 1;
  const int64_t samples[] = {0, 1, 3000, last_hidden, last_hidden + 1, last_hidden + 7, last_hidden + 600};
  const int32_t offsets[] = {0, 6, -6, 667, -667, 588, -588, 1200};
  int found = 0, not_found = 0;
  for (int64_t sample : samples) {
    MakeDisc(sample);
    for (int32_t offset : offsets) {
      SCOPED_TRACE("sample " + std::to_string(sample) + ", offset " + std::to_string(offset));
      const bool sound = RipHasSound(offset);
      const auto hidden = Find(offset);
      EXPECT_EQ(hidden.has_value(), sound);
      if (hidden) {
        EXPECT_EQ(hidden->first_sector, 0);
        EXPECT_EQ(hidden->sector_count, kHidden);
      }
      (sound ? found : not_found)++;
    }
    drive_.Close();
  }
  // The table has both answers, and its plainest rows give the expected one.
  EXPECT_GT(found, 0);
  EXPECT_GT(not_found, 0);
  MakeDisc(0);
  EXPECT_TRUE(Find(0));
  EXPECT_FALSE(Find(6)) << "the first sample lies before what the rip takes";
  drive_.Close();
  MakeDisc(last_hidden + 1);
  EXPECT_FALSE(Find(0)) << "track 1's first sample is no hidden track";
  EXPECT_TRUE(Find(6));
}

// No hidden track where there is nothing to find, or nothing can be read.
TEST_F(HiddenTrackTest, NoneForSilenceAStartAtZeroAFailedReadOrACancel) {
  const struct {
    const char* name;
    int64_t sample;
    bool hidden;
    const char* faults;
    bool cancel;
  } cases[] = {
      {"digital_silence", -1, true, "", false},
      {"track_1_at_sector_0", 100, false, "", false},
      {"read_before_track_1_refused", 100, true, "unreadable 0 0\n", false},
      {"refused_further_on", 100, true, "unreadable 9 9\n", false},
      {"cancelled", 100, true, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MakeDisc(c.sample, c.hidden, c.faults);
    cancel_ = c.cancel;
    EXPECT_FALSE(Find(0));
    cancel_ = 0;
    drive_.Close();
  }
  // The same disc, readable and not cancelled, has one.
  MakeDisc(100);
  EXPECT_TRUE(Find(0));
}

}  // namespace
}  // namespace tonvik
