// The CRC primitive, the shift map, and the streamed disc and track CRCs: the
// published 136-sector vector at shifts 0, +100 and -100 whatever the chunk
// sizes, and every reachable shift held to a CRC computed directly.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ctdb/disc_crc.h"
#include "ctdb/pcm.h"

namespace tonvik::ctdb {
namespace {

using testing::Noise;
using testing::SpanCrc;
using testing::Toc;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Feed(DiscCrc& crcs, const std::vector<uint8_t>& pcm, size_t from, size_t chunk) {
  for (size_t at = from; at < pcm.size(); at += chunk) crcs.Add(pcm.data() + at, std::min(chunk, pcm.size() - at));
}

TEST(CtdbCrc, ThePrimitiveIsZlibsCrc32) {
  const uint8_t bytes[] = {0x00, 0x00, 0x01, 0x00, 0xFE, 0xFF, 0xFD, 0xFF,
                           0xFF, 0x7F, 0xFE, 0x7F, 0x03, 0x80, 0x04, 0x80};
  EXPECT_EQ(crc32_z(0, bytes, sizeof bytes), 0x78EB54F8u);
  // The same four samples as a one-track disc's stream of four samples: the
  // state after them is that CRC.
  EXPECT_EQ(CrcShift(2).Between(uint32_t(crc32_z(0, bytes, 8)), 0x78EB54F8u), uint32_t(crc32_z(0, bytes + 8, 8)));
}

TEST(CtdbCrc, ShiftJoinsTwoRunningCrcsIntoTheCrcBetween) {
  const std::vector<uint8_t> pcm = Noise(40000, 7);
  for (uint64_t head : {0, 1, 5880, 12345}) {
    for (uint64_t length : {0, 1, 2, 587, 5880, 27000}) {
      SCOPED_TRACE(std::to_string(head) + "+" + std::to_string(length));
      const CrcShift shift(length);
      EXPECT_EQ(shift.Between(SpanCrc(pcm, 0, head), SpanCrc(pcm, 0, head + length)),
                SpanCrc(pcm, head, head + length));
    }
  }
}

// The 136-sector vector: TOC 13:68:99:136, a 13-sector hidden first track
// the CRCs leave out; the file holds the disc from sector 0.
struct VectorCase {
  int shift;
  uint32_t disc;
  uint32_t tracks[3];
};

TEST(CtdbCrc, PublishedVectorAtThreeShiftsInAnyChunking) {
  const std::vector<uint8_t> file = ReadFile(std::string(TONVIK_CTDB_DATA) + "/test-case.bin");
  ASSERT_EQ(file.size(), 136u * 2352);
  const VectorCase cases[] = {
      {0, 0x56a69e19, {0x05a91e74, 0x0234974b, 0x9064e48e}},
      {+100, 0xfacc2b51, {0x3ad6c869, 0x7d7425d0, 0x2ebaf707}},
      {-100, 0x3c9bca5b, {0xa0c1eded, 0x7004295c, 0x0388e4f0}},
  };
  const AudioLayout layout = LayoutOf(Toc("13:68:99:136"));
  ASSERT_EQ(layout.samples, 72324u);
  for (size_t chunk : {size_t(1), size_t(3), size_t(4), size_t(2352), size_t(4097), file.size()}) {
    SCOPED_TRACE("chunk " + std::to_string(chunk));
    DiscCrc crcs(layout);
    Feed(crcs, file, 13 * 2352, chunk);
    ASSERT_TRUE(crcs.complete());
    for (const VectorCase& c : cases) {
      SCOPED_TRACE(c.shift);
      EXPECT_EQ(crcs.Disc(c.shift), c.disc);
      for (int t = 0; t < 3; ++t) EXPECT_EQ(crcs.Track(t, c.shift), c.tracks[t]) << "track " << t + 1;
    }
  }
}

// A disc with a one-sector track and a track shorter than the shift range,
// so that shifted windows of some tracks leave the audio: every shift is
// either the CRC computed directly or, exactly when the window leaves
// [0, N), none.
TEST(CtdbCrc, EveryShiftAgreesWithADirectCrcOrIsNone) {
  // Tracks of 5, 1, 9, 45 and 40 sectors; an enhanced CD, its audio ending
  // 11400 sectors before the data track.
  const accuraterip::DiscToc toc = Toc("0:5:6:15:60:-11500:12000");
  const AudioLayout layout = LayoutOf(toc);
  const uint64_t n = layout.samples;
  ASSERT_EQ(n, 100u * 588);
  const std::vector<uint8_t> pcm = Noise(n, 11);
  DiscCrc crcs(layout);
  Feed(crcs, pcm, 0, 5000);
  ASSERT_TRUE(crcs.complete());
  const uint64_t tail = 5880 + n % 5880;
  std::vector<std::pair<uint64_t, uint64_t>> windows{{5880, layout.track_starts[1]}};
  for (size_t t = 1; t + 1 < layout.track_starts.size(); ++t)
    windows.emplace_back(layout.track_starts[t], layout.track_starts[t + 1]);
  windows.emplace_back(layout.track_starts.back(), n - tail);
  int checked = 0, none = 0;
  // Every 37th shift, and those where a window of a short track leaves the audio.
  std::vector<int> shifts{-kMaxShift, kMaxShift, -2940, -2941, -3528, -3529, -1, 0, 1};
  for (int shift = -kMaxShift; shift <= kMaxShift; shift += 37) shifts.push_back(shift);
  for (int shift : shifts) {
    EXPECT_EQ(crcs.Disc(shift), SpanCrc(pcm, 5880 + shift, n - tail + shift));
    for (size_t t = 0; t < windows.size(); ++t) {
      const auto [lo, hi] = windows[t];
      const bool inside = lo < hi && int64_t(lo) + shift >= 0 && hi + shift <= n;
      const std::optional<uint32_t> got = crcs.Track(int(t), shift);
      if (inside) {
        ++checked;
        EXPECT_EQ(got, SpanCrc(pcm, lo + shift, hi + shift)) << "track " << t + 1 << " shift " << shift;
      } else {
        ++none;
        EXPECT_FALSE(got) << "track " << t + 1 << " shift " << shift;
      }
    }
  }
  EXPECT_GT(checked, 0);
  EXPECT_GT(none, 0);  // the 1-sector track 2 cannot move 5879 samples back
  // Track 1 is shorter than P: it has no window at all.
  EXPECT_FALSE(crcs.Track(0, 0));
  EXPECT_FALSE(crcs.Disc(kMaxShift + 1));
  EXPECT_FALSE(crcs.Disc(-kMaxShift - 1));
}

TEST(CtdbCrc, NothingUntilEverySampleAndNothingBeyond) {
  const AudioLayout layout = LayoutOf(Toc("0:20:45:60"));
  const std::vector<uint8_t> pcm = Noise(layout.samples + 1, 3);
  DiscCrc crcs(layout);
  crcs.Add(pcm.data(), layout.samples * 4 - 2);
  EXPECT_FALSE(crcs.complete());
  EXPECT_FALSE(crcs.Disc(0));
  EXPECT_FALSE(crcs.Track(1, 0));
  crcs.Add(pcm.data() + layout.samples * 4 - 2, 2);
  ASSERT_TRUE(crcs.complete());
  EXPECT_EQ(crcs.Disc(0), SpanCrc(pcm, 5880, layout.samples - 5880));
  crcs.Add(pcm.data() + layout.samples * 4, 4);  // a sample more than the disc has
  EXPECT_FALSE(crcs.complete());
  EXPECT_FALSE(crcs.Disc(0));
}

TEST(CtdbCrc, ADiscShorterThanThreeStridesHasNoDiscCrc) {
  const AudioLayout layout = LayoutOf(Toc("0:10:29"));  // 29 sectors < 30
  const std::vector<uint8_t> pcm = Noise(layout.samples, 5);
  DiscCrc crcs(layout);
  crcs.Add(pcm.data(), pcm.size());
  ASSERT_TRUE(crcs.complete());
  EXPECT_FALSE(crcs.Disc(0));
  EXPECT_FALSE(crcs.Track(1, 0));  // the last track ends where the disc window would
}

}  // namespace
}  // namespace tonvik::ctdb
