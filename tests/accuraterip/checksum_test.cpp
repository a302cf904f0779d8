// The track sums: the published and hand-checkable vectors, the five-sector
// edges sample by sample, sector 450, and that the way the PCM is cut into
// chunks changes nothing.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "accuraterip/track_checksum.h"

namespace tonvik::accuraterip {
namespace {

using Pcm = std::vector<uint8_t>;

Pcm Words(const std::vector<uint32_t>& words) {
  Pcm pcm;
  for (uint32_t w : words)
    for (int shift = 0; shift < 32; shift += 8) pcm.push_back(uint8_t(w >> shift));
  return pcm;
}

Pcm Noise(size_t samples, uint32_t seed) {
  std::mt19937 random(seed);
  Pcm pcm(samples * 4);
  for (uint8_t& b : pcm) b = uint8_t(random());
  return pcm;
}

TrackSums SumsOf(const Pcm& pcm, bool first, bool last) {
  TrackChecksum sum(first, last);
  sum.Add(pcm.data(), pcm.size());
  return sum.Finish();
}

struct Place {
  const char* name;
  bool first;
  bool last;
};
constexpr Place kPlaces[] = {{"middle", false, false}, {"first", true, false}, {"last", false, true},
                             {"only", true, true}};

struct VectorCase {
  const char* what;
  Pcm pcm;
  Place place;
  uint32_t v1;
  uint32_t v2;
};

TEST(TrackChecksumTest, Vectors) {
  std::vector<uint32_t> two_ones(2941, 0);
  two_ones[2939] = two_ones[2940] = 1;  // samples 2940 and 2941
  const Pcm ff(5880 * 4, 0xFF);         // every i * v = i * 2^32 - i
  const VectorCase cases[] = {
      {"reference: first summed sample is 2940", Words(two_ones), kPlaces[1], 5881, 5881},
      {"all FF, middle", ff, kPlaces[0], 0xfef82c64, 0xffffe908},
      {"all FF, first", ff, kPlaces[1], 0xff3a18ae, 0xfffff483},
      {"all FF, last", ff, kPlaces[2], 0xffbe083a, 0xfffff484},
      {"all FF, only track", ff, kPlaces[3], 0xfffff484, 0xffffffff},
      {"silence", Pcm(44100 * 4, 0), kPlaces[0], 0, 0},
      {"silence, only track", Pcm(44100 * 4, 0), kPlaces[3], 0, 0},
  };
  for (const VectorCase& c : cases) {
    SCOPED_TRACE(c.what);
    const TrackSums s = SumsOf(c.pcm, c.place.first, c.place.last);
    EXPECT_EQ(s.v1, c.v1);
    EXPECT_EQ(s.v2, c.v2);
    EXPECT_EQ(s.samples, c.pcm.size() / 4);
  }
}

// Changing one sample changes the sums exactly when the sample is summed:
// the first track from sample 2940 on, the last up to 2940 before its end.
TEST(TrackChecksumTest, EdgesSampleBySample) {
  const size_t n = 3 * kEdgeSamples;
  const Pcm base = Noise(n, 7);
  struct EdgeCase {
    Place place;
    size_t position;  // 1-based
    bool counts;
  };
  const EdgeCase cases[] = {
      {kPlaces[0], 1, true},          {kPlaces[0], n, true},
      {kPlaces[1], 1, false},         {kPlaces[1], 2939, false},
      {kPlaces[1], 2940, true},       {kPlaces[1], n, true},
      {kPlaces[2], 1, true},          {kPlaces[2], n - 2940, true},
      {kPlaces[2], n - 2939, false},  {kPlaces[2], n, false},
      {kPlaces[3], 2939, false},      {kPlaces[3], 2940, true},
      {kPlaces[3], n - 2940, true},   {kPlaces[3], n - 2939, false},
  };
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(std::string(c.place.name) + " track, sample " + std::to_string(c.position));
    Pcm changed = base;
    changed[(c.position - 1) * 4 + 1] ^= 0x40;  // the left sample's high byte
    const TrackSums before = SumsOf(base, c.place.first, c.place.last);
    const TrackSums after = SumsOf(changed, c.place.first, c.place.last);
    EXPECT_EQ(before.v1 != after.v1, c.counts);
    EXPECT_EQ(before.v2 != after.v2, c.counts);
    EXPECT_NE(before.crc32, after.crc32);  // the CRC32 takes every byte
  }
}

// v2 adds the high halves of the products to v1: while every i * v stays
// below 2^32 the two agree; full-scale audio makes them differ.
TEST(TrackChecksumTest, V2AgreesWithV1OnlyWhileProductsFit) {
  std::vector<uint32_t> quiet(40000);
  for (size_t i = 0; i < quiet.size(); ++i) quiet[i] = uint32_t(i * 7919 % 0x10000);  // right = 0
  for (const Place& p : kPlaces) {
    SCOPED_TRACE(p.name);
    const TrackSums q = SumsOf(Words(quiet), p.first, p.last);
    EXPECT_EQ(q.v1, q.v2);
    EXPECT_NE(q.v1, 0u);
    const TrackSums loud = SumsOf(Noise(40000, 3), p.first, p.last);
    EXPECT_NE(loud.v1, loud.v2);
  }
}

TEST(TrackChecksumTest, ChunkingChangesNothing) {
  const Pcm pcm = Noise(460 * kSamplesPerSector + 17, 11);
  const uint32_t zlib = uint32_t(crc32(crc32(0, nullptr, 0), pcm.data(), uInt(pcm.size())));
  std::mt19937 random(5);
  for (const Place& p : kPlaces) {
    const TrackSums whole = SumsOf(pcm, p.first, p.last);
    EXPECT_EQ(whole.crc32, zlib);
    for (size_t largest : {size_t(1), size_t(7), size_t(2352), size_t(100000)}) {
      SCOPED_TRACE(std::string(p.name) + ", chunks up to " + std::to_string(largest));
      TrackChecksum sum(p.first, p.last);
      for (size_t at = 0; at < pcm.size();) {
        const size_t size = std::min(pcm.size() - at, size_t(random() % largest) + 1);
        sum.Add(pcm.data() + at, size);
        at += size;
      }
      const TrackSums chunked = sum.Finish();
      EXPECT_EQ(chunked.v1, whole.v1);
      EXPECT_EQ(chunked.v2, whole.v2);
      EXPECT_EQ(chunked.crc450, whole.crc450);
      EXPECT_EQ(chunked.crc32, whole.crc32);
      EXPECT_EQ(chunked.samples, whole.samples);
    }
  }
}

// A trailing partial sample is in the CRC32 but not in the sums.
TEST(TrackChecksumTest, PartialSampleAtTheEnd) {
  Pcm pcm = Noise(10000, 13);
  const TrackSums whole = SumsOf(pcm, false, false);
  pcm.push_back(0x55);
  const TrackSums more = SumsOf(pcm, false, false);
  EXPECT_EQ(more.v1, whole.v1);
  EXPECT_EQ(more.v2, whole.v2);
  EXPECT_EQ(more.samples, whole.samples);
  EXPECT_NE(more.crc32, whole.crc32);
}

// Sector 450 weighted 1..588, wherever the track sits; nothing else counts.
TEST(TrackChecksumTest, Sector450) {
  const size_t sector = kSamplesPerSector;
  Pcm pcm = Noise(452 * sector, 17);
  std::fill(pcm.begin() + 450 * sector * 4, pcm.begin() + 451 * sector * 4, 0);
  for (size_t j = 0; j < sector; ++j) pcm[(450 * sector + j) * 4] = 1;  // every word = 1
  for (const Place& p : kPlaces) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(SumsOf(pcm, p.first, p.last).crc450, 588u * 589 / 2);
  }
  Pcm outside = pcm;
  outside[449 * sector * 4] ^= 1;
  outside[451 * sector * 4] ^= 1;
  EXPECT_EQ(SumsOf(outside, false, false).crc450, 588u * 589 / 2);
  Pcm inside = pcm;
  inside[(451 * sector - 1) * 4 + 2] ^= 1;  // the right sample of its last sample
  EXPECT_NE(SumsOf(inside, false, false).crc450, 588u * 589 / 2);

  // A track has the value once its sector 450 is whole.
  EXPECT_TRUE(SumsOf(Pcm(pcm.begin(), pcm.begin() + 451 * sector * 4), false, false).crc450);
  EXPECT_FALSE(SumsOf(Pcm(pcm.begin(), pcm.begin() + 451 * sector * 4 - 4), false, false).crc450);
}

}  // namespace
}  // namespace tonvik::accuraterip
