// The verdict over a streamed disc of noise, with entries made from CRCs
// computed directly at chosen shifts: which entries confirm the disc and
// which the tracks, the confidences and total, the shift kept, and the log
// lines for every kind of answer.
#include <gtest/gtest.h>

#include "ctdb/pcm.h"
#include "ctdb/verdict.h"

namespace tonvik::ctdb {
namespace {

using testing::Noise;
using testing::SpanCrc;
using testing::Toc;

// Three tracks of 20, 25 and 15 sectors: N = 35280, P = L = 5880.
const std::string kToc = "0:20:45:60";

class CtdbVerdictTest : public ::testing::Test {
 protected:
  CtdbVerdictTest() : toc_(Toc(kToc)), layout_(LayoutOf(toc_)), pcm_(Noise(layout_.samples, 42)), crcs_(layout_) {
    crcs_.Add(pcm_.data(), pcm_.size());
  }
  // The CRCs a rip of this disc read `shift` samples later would have
  // submitted, computed over the PCM directly.
  uint32_t DiscAt(int shift) const { return SpanCrc(pcm_, 5880 + shift, 29400 + shift); }
  uint32_t TrackAt(int t, int shift) const {
    const uint64_t bounds[] = {5880, 20 * 588, 45 * 588, 29400};
    return SpanCrc(pcm_, bounds[t] + shift, bounds[t + 1] + shift);
  }
  std::vector<uint32_t> TracksAt(int shift) const { return {TrackAt(0, shift), TrackAt(1, shift), TrackAt(2, shift)}; }

  static Entry Make(uint32_t crc, int confidence, std::optional<std::vector<uint32_t>> tracks = std::nullopt,
                    const std::string& toc = kToc, int stride = 5880) {
    Entry e;
    e.crc = crc;
    e.confidence = confidence;
    e.stride = stride;
    e.toc = toc;
    e.disc = Toc(toc);
    e.track_crcs = std::move(tracks);
    return e;
  }
  DiscVerdict Judge(std::vector<Entry> entries) const {
    return Verify(toc_, Answer{LookupStatus::Found, std::move(entries)}, crcs_);
  }

  accuraterip::DiscToc toc_;
  AudioLayout layout_;
  std::vector<uint8_t> pcm_;
  DiscCrc crcs_;
};

struct Expect {
  int total;
  int disc;
  std::optional<int> disc_shift;
  int tracks[3];
  std::optional<int> track_shift[3];
};

TEST_F(CtdbVerdictTest, EntriesAgainstTheRip) {
  const uint32_t wrong = ~DiscAt(0);
  std::vector<uint32_t> damaged_middle = TracksAt(0);
  damaged_middle[1] ^= 1;
  // The same audio behind a 150-sector hidden first track, and behind a data
  // track in front: another TOC string, the same audio length.
  const std::string htoa = "150:170:195:210";
  const std::string data_first = "-0:150:170:195:210";
  struct Case {
    const char* what;
    std::vector<Entry> entries;
    Expect expect;
  };
  const Case cases[] = {
      {"the same pressing", {Make(DiscAt(0), 4, TracksAt(0))}, {4, 4, 0, {4, 4, 4}, {0, 0, 0}}},
      {"a pressing read 48 samples later", {Make(DiscAt(48), 3)}, {3, 3, 48, {3, 3, 3}, {48, 48, 48}}},
      {"a pressing read 48 samples earlier", {Make(DiscAt(-48), 3)}, {3, 3, -48, {3, 3, 3}, {-48, -48, -48}}},
      {"the farthest shifts", {Make(DiscAt(5879), 1), Make(DiscAt(-5879), 2)}, {3, 3, -5879, {3, 3, 3}, {-5879, -5879, -5879}}},
      {"two pressings add up, the most confident gives the shift",
       {Make(DiscAt(0), 2), Make(DiscAt(-700), 6), Make(wrong, 5)}, {13, 8, -700, {8, 8, 8}, {-700, -700, -700}}},
      {"a disc CRC that matches nowhere", {Make(wrong, 9)}, {9, 0, std::nullopt, {0, 0, 0}, {}}},
      {"a damaged middle track: the others by their own CRCs", {Make(wrong, 5, damaged_middle)},
       {5, 0, std::nullopt, {5, 0, 5}, {0, std::nullopt, 0}}},
      {"track CRCs of another pressing within the track range", {Make(wrong, 2, TracksAt(kTrackShift))},
       {2, 0, std::nullopt, {2, 2, 2}, {kTrackShift, kTrackShift, kTrackShift}}},
      {"track CRCs of a pressing beyond the track range", {Make(wrong, 2, TracksAt(kTrackShift + 1))},
       {2, 0, std::nullopt, {0, 0, 0}, {}}},
      {"another TOC with our audio confirms the tracks, not the disc",
       {Make(DiscAt(0), 3, std::nullopt, htoa), Make(DiscAt(0), 4, std::nullopt, data_first)},
       {7, 0, std::nullopt, {7, 7, 7}, {0, 0, 0}}},
      {"another stride only counts in the total", {Make(DiscAt(0), 6, TracksAt(0), kToc, 11760)},
       {6, 0, std::nullopt, {0, 0, 0}, {}}},
      {"another audio length: the disc CRC is not compared",
       {Make(DiscAt(0), 2, std::nullopt, "0:20:45:61")}, {2, 0, std::nullopt, {0, 0, 0}, {}}},
      {"another audio length: its track CRCs still count",
       {Make(DiscAt(0), 2, TracksAt(0), "0:20:45:61")}, {2, 0, std::nullopt, {2, 2, 2}, {0, 0, 0}}},
      {"track CRCs of another track count are not compared",
       {Make(wrong, 2, std::vector<uint32_t>{TrackAt(0, 0), TrackAt(1, 0)}, "0:20:61")},
       {2, 0, std::nullopt, {0, 0, 0}, {}}},
      {"confidence 0 matches but counts nothing", {Make(DiscAt(0), 0)}, {0, 0, 0, {0, 0, 0}, {0, 0, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const DiscVerdict v = Judge(c.entries);
    EXPECT_EQ(v.total, c.expect.total);
    EXPECT_EQ(v.confidence, c.expect.disc);
    EXPECT_EQ(v.shift, c.expect.disc_shift);
    if (v.shift) {
      EXPECT_EQ(v.matched_crc, DiscAt(*v.shift));
    }
    ASSERT_EQ(v.tracks.size(), 3u);
    for (int t = 0; t < 3; ++t) {
      EXPECT_EQ(v.tracks[size_t(t)].confidence, c.expect.tracks[t]) << "track " << t + 1;
      EXPECT_EQ(v.tracks[size_t(t)].shift, c.expect.track_shift[t]) << "track " << t + 1;
    }
  }
}

TEST_F(CtdbVerdictTest, LinesOfAComparedDisc) {
  const DiscVerdict v = Judge({Make(DiscAt(0), 9), Make(~DiscAt(0), 3, std::vector<uint32_t>{TrackAt(0, -12), 0, 0})});
  char crc[9];
  std::snprintf(crc, sizeof crc, "%08x", unsigned(DiscAt(0)));
  EXPECT_EQ(DiscLines(v), (std::vector<std::string>{"CTDB TOCID: " + TocId(toc_), std::string("CTDB disc CRC: ") + crc,
                                                    "CTDB disc: Accurately ripped (9/12)"}));
  EXPECT_EQ(TrackLine(v, 0), "CTDB: Accurately ripped (12/12)");
  EXPECT_EQ(TrackLine(v, 1), "CTDB: Accurately ripped (9/12)");
  EXPECT_FALSE(TrackLine(v, 3));

  const DiscVerdict none = Judge({Make(~DiscAt(0), 3), Make(~DiscAt(0), 10)});
  EXPECT_EQ(DiscLines(none).back(), "CTDB disc: No match (0/13)");
  for (int t = 0; t < 3; ++t) EXPECT_EQ(TrackLine(none, t), "CTDB: No match (0/13)");

  const DiscVerdict later = Judge({Make(DiscAt(-5), 1)});
  EXPECT_EQ(DiscLines(later).back(), "CTDB disc: Accurately ripped (1/1), another pressing, shift -5 samples");
  EXPECT_EQ(TrackLine(later, 2), "CTDB: Accurately ripped (1/1), another pressing, shift -5 samples");
}

TEST_F(CtdbVerdictTest, LinesWithoutAComparison) {
  const std::string tocid = "CTDB TOCID: " + TocId(toc_);
  struct Case {
    LookupStatus status;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {LookupStatus::NotPresent, {tocid, "CTDB: not present"}},
      {LookupStatus::Unreachable, {tocid, "CTDB: could not be reached"}},
      {LookupStatus::Rejected, {tocid, "CTDB: could not be reached"}},
      {LookupStatus::Cancelled, {tocid, "CTDB: could not be reached"}},
      {LookupStatus::Skipped, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.status));
    const DiscVerdict v = Verify(toc_, Answer{c.status, {}}, crcs_);
    EXPECT_EQ(DiscLines(v), c.lines);
    for (int t = 0; t < 3; ++t) EXPECT_FALSE(TrackLine(v, t));
  }
}

TEST_F(CtdbVerdictTest, AnIncompleteRipIsNotVerified) {
  DiscCrc partial(layout_);
  partial.Add(pcm_.data(), pcm_.size() - 4 * 588);  // the last sector never came
  const DiscVerdict v = Verify(toc_, Answer{LookupStatus::Found, {Make(DiscAt(0), 4)}}, partial);
  EXPECT_EQ(v.total, 4);
  EXPECT_EQ(v.confidence, 0);
  EXPECT_EQ(DiscLines(v).back(), "CTDB: not verified, the rip does not hold the whole disc");
  EXPECT_FALSE(TrackLine(v, 0));
}

}  // namespace
}  // namespace tonvik::ctdb
