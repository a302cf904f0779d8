// The disc ID from the TOC: the real discs of the shared fixtures give the
// IDs the service knows them by; data tracks and 99-track discs; the three
// internal errors.
#include <gtest/gtest.h>

#include <discid/discid.h>

#include "core/app_exception.h"
#include "lookup/disc_id.h"
#include "lookup/loopback.h"

namespace tonvik::lookup {
namespace {

using testing::MakeToc;

TEST(DiscId, FixtureDiscsGiveTheirServiceIds) {
  if (!testing::HaveFixtures()) GTEST_SKIP() << "no shared MusicBrainz fixtures beside the repository";
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(testing::FixturesDir() / "discid")) {
    const std::string expected = entry.path().stem().string();
    SCOPED_TRACE(expected);
    EXPECT_EQ(DiscIdFromToc(testing::TocOfDiscDocument(testing::ReadText(entry.path()))), expected);
    ++seen;
  }
  EXPECT_EQ(seen, 3);
}

// libdiscid's own answer for the given input, as the reference.
std::string ReferenceId(int last, const std::vector<int>& absolute_starts, int absolute_leadout) {
  int offsets[100] = {};
  offsets[0] = absolute_leadout;
  for (size_t i = 0; i < absolute_starts.size(); ++i) offsets[i + 1] = absolute_starts[i];
  DiscId* disc = discid_new();
  EXPECT_TRUE(discid_put(disc, 1, last, offsets));
  std::string id = discid_get_id(disc);
  discid_free(disc);
  return id;
}

struct WalkCase {
  const char* what;
  std::vector<int32_t> starts;  // LBA
  int32_t leadout;
  std::vector<int> data_tracks;
};

TEST(DiscId, EveryTrackBeforeTheLeadOutCounts) {
  std::vector<int32_t> ninety_nine;
  for (int i = 0; i < 99; ++i) ninety_nine.push_back(i * 3000);
  const WalkCase cases[] = {
      {"audio", {0, 15000, 32000}, 45000, {}},
      {"mixed mode, data track 1", {0, 20000, 31000, 40000}, 52000, {1}},
      {"99 tracks", ninety_nine, 99 * 3000, {}},
  };
  for (const WalkCase& c : cases) {
    SCOPED_TRACE(c.what);
    const auto toc = MakeToc(c.starts, c.leadout, c.data_tracks);
    const DiscIdInput in = DiscIdInputFromToc(toc);
    EXPECT_EQ(in.first, 1);
    EXPECT_EQ(in.last, int(c.starts.size()));
    EXPECT_EQ(in.offsets[0], c.leadout + 150);
    std::vector<int> absolute;
    for (size_t i = 0; i < c.starts.size(); ++i) {
      EXPECT_EQ(in.offsets[i + 1], c.starts[i] + 150);
      absolute.push_back(c.starts[i] + 150);
    }
    const std::string id = DiscIdFromToc(toc);
    EXPECT_EQ(id.size(), 28u);
    EXPECT_EQ(id, ReferenceId(int(c.starts.size()), absolute, c.leadout + 150));
  }
}

TEST(DiscId, AnEnhancedCdIsKnownByItsAudioSession) {
  struct Case {
    const char* what;
    std::vector<int32_t> audio;  // LBA of the audio tracks
    int32_t session_lead_out;    // LBA of the first session's lead-out
    const char* id;              // the service's ID, where one is published
  };
  std::vector<int32_t> ten;
  for (int i = 0; i < 10; ++i) ten.push_back(i * 12000);
  const Case cases[] = {
      {"one audio track", {0}, 30000, nullptr},
      {"ten audio tracks", ten, 125000, nullptr},
      // A pressed enhanced CD as MusicBrainz lists it: audio at absolute
      // 150, 12767, ..., 247455, the first session's lead-out at 270335.
      {"a published enhanced CD",
       {0, 12617, 40337, 63075, 93260, 117965, 151715, 184190, 215110, 247305},
       270185,
       "9AQWqQ0eCCwktwPPrIUIYkUw2Uo-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<int32_t> starts = c.audio;
    const int32_t data_start = c.session_lead_out + 11400;
    starts.push_back(data_start);
    const auto toc = MakeToc(starts, data_start + 20000, {int(starts.size())});
    const DiscIdInput in = DiscIdInputFromToc(toc);
    EXPECT_EQ(in.last, int(c.audio.size()));
    EXPECT_EQ(in.offsets[0], c.session_lead_out + 150);
    std::vector<int> absolute;
    for (int32_t lba : c.audio) absolute.push_back(lba + 150);
    const std::string id = DiscIdFromToc(toc);
    EXPECT_EQ(id, ReferenceId(int(c.audio.size()), absolute, c.session_lead_out + 150));
    if (c.id) {
      EXPECT_EQ(id, c.id);
    }
  }
}

TEST(DiscId, DataTrackChangesTheId) {
  // Leaving the data track out (as an audio-only walk would) names another disc.
  const auto mixed = MakeToc({0, 20000, 31000}, 45000, {1});
  EXPECT_NE(DiscIdFromToc(mixed), ReferenceId(2, {20150, 31150}, 45150));
}

TEST(DiscId, WalkStopsAtTheLeadOutAndAtTheBufferEnd) {
  auto toc = MakeToc({0, 10000}, 20000);
  // Descriptors after the lead-out and a trailing half descriptor are ignored.
  const auto after = MakeToc({30000}, 40000);
  toc.insert(toc.end(), after.begin() + 4, after.end());
  toc.insert(toc.end(), {0, 0x10, 3, 0});
  const DiscIdInput in = DiscIdInputFromToc(toc);
  EXPECT_EQ(in.last, 2);
  EXPECT_EQ(in.offsets[0], 20150);
  EXPECT_EQ(in.offsets[3], 0);
}

DiscId* NoDisc() { return nullptr; }

TEST(DiscId, InternalErrors) {
  struct Case {
    std::vector<uint8_t> toc;
    DiscIdMaker maker;
    const char* message;
  };
  std::vector<uint8_t> beyond = MakeToc({0}, 9000);
  beyond[6] = 0xA2;  // a track number past 99 as the last descriptor
  const Case cases[] = {
      {{}, nullptr, "Internal error #1591."},
      {MakeToc({0, 10000}, 20000), NoDisc, "Internal error #1592."},
      {MakeToc({}, 20000), nullptr, "Internal error #1593."},  // lead-out alone: no last track
      {beyond, nullptr, "Internal error #1593."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      DiscIdFromToc(c.toc, c.maker);
      ADD_FAILURE() << "no exception";
    } catch (const AppException& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

}  // namespace
}  // namespace tonvik::lookup
