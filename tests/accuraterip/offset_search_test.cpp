// The read-offset search: the shifted sector-450 sums agree with the sums of
// a corrected rip at every offset, and a record finds the offset of a drive
// only when two tracks agree on it.
#include <gtest/gtest.h>

#include <random>

#include "accuraterip/offset_search.h"
#include "accuraterip/track_checksum.h"

namespace tonvik::accuraterip {
namespace {

constexpr int32_t kSector = 588;

// A disc of noise: its samples from LSN 0 on.
struct Disc {
  std::vector<uint32_t> samples;
  std::vector<AudioTrack> tracks;

  Disc(const std::vector<int32_t>& sectors, uint32_t seed) {
    std::mt19937 random(seed);
    int32_t start = 0;
    for (size_t i = 0; i < sectors.size(); ++i) {
      AudioTrack t;
      t.index = t.toc_number = int(i) + 1;
      t.record_slot = int(i);
      t.start = start;
      t.sectors = sectors[i];
      t.first = i == 0;
      t.last = i + 1 == sectors.size();
      tracks.push_back(t);
      start += sectors[i];
    }
    samples.resize(size_t(start) * kSector);
    for (uint32_t& s : samples) s = random();
  }
  // What a drive with the read offset gives when asked for sectors from
  // `first` on: the disc's samples from 588 * first - offset, silence
  // outside the disc.
  std::vector<uint8_t> Read(int32_t first, int32_t count, int32_t offset) const {
    std::vector<uint8_t> out;
    for (int64_t p = int64_t(first) * kSector - offset, end = p + int64_t(count) * kSector; p < end; ++p) {
      const uint32_t v = p >= 0 && p < int64_t(samples.size()) ? samples[size_t(p)] : 0;
      for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(v >> shift));
    }
    return out;
  }
  std::vector<uint8_t> Window(const AudioTrack& t, int32_t offset) const {
    return Read(*OffsetWindowStart(t), kOffsetWindowSectors, offset);
  }
  // The sector-450 sum of the track as a corrected rip sees it.
  uint32_t Sum450(const AudioTrack& t) const {
    TrackChecksum sum(t.first, t.last);
    const std::vector<uint8_t> pcm = Read(t.start, t.sectors, 0);
    sum.Add(pcm.data(), pcm.size());
    return *sum.Finish().crc450;
  }
};

TEST(OffsetSearchTest, EachShiftSumsTheSectorACorrectedRipWouldSum) {
  const Disc disc({470, 500}, 1);
  for (int32_t offset : {0, 1, -1, 6, 48, 667, -1164, 588, -588, kMaxSearchedOffset, -kMaxSearchedOffset}) {
    SCOPED_TRACE(offset);
    for (const AudioTrack& t : disc.tracks) {
      const std::vector<uint32_t> sums = ShiftedSector450Sums(disc.Window(t, offset).data());
      ASSERT_EQ(sums.size(), size_t(2 * kMaxSearchedOffset + 1));
      EXPECT_EQ(sums[size_t(offset + kMaxSearchedOffset)], disc.Sum450(t));
    }
  }
}

TEST(OffsetSearchTest, ATrackTooShortForTheWindowHasNone) {
  const Disc disc({455, 456}, 2);
  EXPECT_FALSE(OffsetWindowStart(disc.tracks[0]));
  EXPECT_EQ(OffsetWindowStart(disc.tracks[1]), 455 + 450 - kOffsetSearchSectors);
}

// A record of one or more pressings of the disc; each pressing gives its
// sector-450 sums as a rip at `shift` samples from this one would (another
// pressing of the same audio), with the confidence given.
struct PressingShape {
  int32_t shift;
  int confidence;
  bool with_450 = true;
};

RecordLookup RecordOf(const Disc& disc, const std::vector<PressingShape>& pressings) {
  RecordLookup record{LookupStatus::Found, {}};
  for (const PressingShape& shape : pressings) {
    Pressing p;
    for (const AudioTrack& t : disc.tracks) {
      const std::vector<uint32_t> sums = ShiftedSector450Sums(disc.Window(t, 0).data());
      p.tracks.push_back({uint8_t(shape.confidence), 0x1234567u + uint32_t(t.index),
                          shape.with_450 ? sums[size_t(shape.shift + kMaxSearchedOffset)] : 0u});
    }
    record.pressings.push_back(p);
  }
  return record;
}

TEST(OffsetSearchTest, TheOffsetNeedsTwoTracksAndTheMostConfidentPressingWins) {
  const Disc disc({460, 470, 480, 500}, 3);
  struct Case {
    const char* name;
    std::vector<PressingShape> pressings;
    int32_t drive_offset;
    int tracks_read;                  // in disc order
    std::optional<int32_t> expected;  // what the search says after them
  } const cases[] = {
      {"+667 on two tracks", {{0, 5}}, 667, 2, 667},
      {"-1164 on two tracks", {{0, 5}}, -1164, 2, -1164},
      {"the edge of the range", {{0, 5}}, -kMaxSearchedOffset, 2, -kMaxSearchedOffset},
      {"one track is not enough", {{0, 5}}, 667, 1, std::nullopt},
      {"beyond the range nothing matches", {{0, 5}}, kMaxSearchedOffset + 1, 4, std::nullopt},
      {"a record without sector-450 sums", {{0, 5, false}}, 667, 4, std::nullopt},
      // Another pressing, 30 samples later, less confident: the drive's
      // offset is the one the more confident pressing gives.
      {"two pressings", {{30, 2}, {0, 9}}, 102, 2, 102},
      {"two pressings, the other more confident", {{30, 9}, {0, 2}}, 102, 2, 102 + 30},
      {"two pressings equally confident", {{30, 4}, {0, 4}}, 102, 4, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RecordLookup record = RecordOf(disc, c.pressings);
    OffsetSearch search(record);
    for (int i = 0; i < c.tracks_read; ++i) {
      const AudioTrack& t = disc.tracks[size_t(i)];
      search.AddTrack(t.record_slot, disc.Window(t, c.drive_offset).data());
    }
    EXPECT_EQ(search.Offset(), c.expected);
  }
}

TEST(OffsetSearchTest, OnlyAFoundRecordWithSumsForTheSlotTakesPart) {
  const Disc disc({460, 470}, 4);
  RecordLookup record = RecordOf(disc, {{0, 5}});
  EXPECT_TRUE(OffsetSearch(record).Knows(1));
  EXPECT_FALSE(OffsetSearch(record).Knows(2));  // past the record's slots
  record.pressings[0].tracks[1].confidence = 0;
  EXPECT_FALSE(OffsetSearch(record).Knows(1));
  record.status = LookupStatus::NotPresent;
  EXPECT_FALSE(OffsetSearch(record).Knows(0));
  // Silence sums to 0 at every shift: a record's 0 is no sum, never a match.
  const Disc silent({460, 470}, 5);
  RecordLookup zero = RecordOf(silent, {{0, 5, false}});
  OffsetSearch search(zero);
  std::vector<uint8_t> quiet(size_t(kOffsetWindowSectors) * 2352, 0);
  search.AddTrack(0, quiet.data());
  search.AddTrack(1, quiet.data());
  EXPECT_EQ(search.tracks_added(), 0);
  EXPECT_EQ(search.Offset(), std::nullopt);
}

}  // namespace
}  // namespace tonvik::accuraterip
