// Settling the sectors two reads of a track disagree on, against scripted
// readings: which reading wins, how often a sector is read, which
// neighbours are read together, and when a sector is given up.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "rip/secure_read.h"

namespace tonvik {
namespace {

constexpr int kUnreadable = -1;

// Sector s as variant v: 0 is what the disc holds, any other a wrong reading.
std::vector<uint8_t> Content(int32_t s, int v) {
  std::vector<uint8_t> out(kSecureSectorBytes);
  for (int i = 0; i < kSecureSectorBytes; ++i) out[size_t(i)] = uint8_t(s * 7 + i * 13 + v * 101 + (i >> 8));
  return out;
}

struct Sector {
  int32_t index;
  int burst, corrected;          // the variants the two reads gave
  std::vector<int> rereads;      // what each reading after them gives (kUnreadable: the read failed)
  std::optional<int> settled;    // the variant that ends in the block; nullopt: silence
  int expected_rereads;
};

struct Case {
  const char* name;
  std::vector<Sector> sectors;  // of an 8-sector block starting at track sector 100; the rest read alike twice
  std::vector<std::pair<int32_t, int32_t>> runs;  // the rereads' (first, count) in order; empty: not checked
  int32_t differing, never_agreed;
};

TEST(SettleDifferences, TheFirstTwoReadingsThatAgreeWinAndASectorIsGivenUpAfterSixteen) {
  const Case cases[] = {
      {"reads that agree are never read again", {}, {}, 0, 0},
      {"a wrong quick read: the first reading agrees with the corrected one",
       {{3, 1, 0, {0}, 0, 1}}, {{103, 1}}, 1, 0},
      {"a wrong corrected read: the reading that agrees with the quick one goes in",
       {{3, 0, 2, {0}, 0, 1}}, {}, 1, 0},
      {"both wrong: two later readings agree",
       {{5, 1, 2, {3, 4, 4}, 4, 3}}, {}, 1, 0},
      {"a reading may agree with the corrected read's wrong value: two alike win",
       {{5, 1, 2, {2}, 2, 1}}, {}, 1, 0},
      {"no two readings ever agree: silence after sixteen",
       {{6, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, std::nullopt, 16}}, {}, 1, 1},
      {"failed readings are no readings: two of them never agree with each other",
       {{2, 1, 2, {kUnreadable, kUnreadable, kUnreadable, 0, 0}, 0, 5}}, {}, 1, 0},
      {"neighbours are read together, a sector apart is read alone",
       {{0, 1, 0, {0}, 0, 1}, {1, 1, 0, {0}, 0, 1}, {2, 1, 0, {0}, 0, 1}, {6, 0, 1, {0}, 0, 1}},
       {{100, 3}, {106, 1}}, 4, 0},
      {"a run is read again only for the sectors still open",
       {{0, 1, 2, {3, 3}, 3, 2}, {1, 1, 0, {0}, 0, 1}, {2, 1, 2, {4, 4}, 4, 2}},
       {{100, 3}, {100, 1}, {102, 1}}, 3, 0},
  };
  constexpr int32_t kFirst = 100, kSectors = 8;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::map<int32_t, const Sector*> by_index;
    for (const Sector& s : c.sectors) by_index[s.index] = &s;
    // The quick read's fingerprints of a 120-sector track, and the block of
    // the corrected read.
    std::vector<uint64_t> earlier(120);
    for (int32_t s = 0; s < 120; ++s) earlier[size_t(s)] = SectorHash(Content(s, 0).data());
    std::vector<uint8_t> block(size_t(kSectors) * kSecureSectorBytes);
    for (int32_t i = 0; i < kSectors; ++i) {
      const auto it = by_index.find(i);
      const int corrected = it == by_index.end() ? 0 : it->second->corrected;
      if (it != by_index.end()) earlier[size_t(kFirst + i)] = SectorHash(Content(kFirst + i, it->second->burst).data());
      const auto content = Content(kFirst + i, corrected);
      std::memcpy(block.data() + size_t(i) * kSecureSectorBytes, content.data(), content.size());
    }
    std::map<int32_t, int> reads;  // readings given per sector
    std::vector<std::pair<int32_t, int32_t>> runs;
    const SectorReread reread = [&](int32_t first, int32_t count, uint8_t* out) {
      runs.emplace_back(first, count);
      bool failed = false;
      for (int32_t k = 0; k < count; ++k) {
        const int32_t i = first + k - kFirst;
        EXPECT_TRUE(by_index.count(i)) << "sector " << first + k << " read again without a difference";
        if (!by_index.count(i)) return RereadOutcome::Cancelled;
        const Sector& s = *by_index[i];
        const int n = reads[i]++;
        EXPECT_LT(n, int(s.rereads.size())) << "sector " << first + k << " read more often than scripted";
        const int v = n < int(s.rereads.size()) ? s.rereads[size_t(n)] : 99 + n;
        if (v == kUnreadable) {
          failed = true;
          std::memset(out + size_t(k) * kSecureSectorBytes, 0, kSecureSectorBytes);
        } else {
          const auto content = Content(first + k, v);
          std::memcpy(out + size_t(k) * kSecureSectorBytes, content.data(), content.size());
        }
      }
      return failed ? RereadOutcome::Unreadable : RereadOutcome::Read;
    };
    const auto counts = SettleDifferences(block.data(), kFirst, kSectors, earlier, reread);
    ASSERT_TRUE(counts);
    EXPECT_EQ(counts->differing, c.differing);
    EXPECT_EQ(counts->never_agreed, c.never_agreed);
    if (!c.runs.empty()) {
      EXPECT_EQ(runs, c.runs);
    }
    for (int32_t i = 0; i < kSectors; ++i) {
      const auto it = by_index.find(i);
      std::vector<uint8_t> want(kSecureSectorBytes, 0);
      if (it == by_index.end()) {
        want = Content(kFirst + i, 0);
      } else {
        EXPECT_EQ(reads[i], it->second->expected_rereads) << "sector " << kFirst + i;
        if (it->second->settled) want = Content(kFirst + i, *it->second->settled);
      }
      EXPECT_EQ(0, std::memcmp(block.data() + size_t(i) * kSecureSectorBytes, want.data(), want.size()))
          << "sector " << kFirst + i;
    }
  }
}

TEST(SettleDifferences, ACancelledRereadEndsTheSettling) {
  std::vector<uint64_t> earlier(4, 0);  // no sector of the block looks like this
  std::vector<uint8_t> block(4 * kSecureSectorBytes, 1);
  int calls = 0;
  const auto counts = SettleDifferences(block.data(), 0, 4, earlier, [&](int32_t, int32_t, uint8_t*) {
    ++calls;
    return RereadOutcome::Cancelled;
  });
  EXPECT_FALSE(counts);
  EXPECT_EQ(calls, 1);
}

TEST(SectorHash, EveryBitOfASectorCounts) {
  std::vector<uint8_t> sector = Content(3, 0);
  const uint64_t h = SectorHash(sector.data());
  for (int bit = 0; bit < kSecureSectorBytes * 8; bit += 97) {
    sector[size_t(bit / 8)] ^= uint8_t(1u << (bit % 8));
    EXPECT_NE(SectorHash(sector.data()), h) << "bit " << bit;
    sector[size_t(bit / 8)] ^= uint8_t(1u << (bit % 8));
  }
  // Two samples swapped, and silence against silence shifted.
  std::swap(sector[0], sector[4]);
  EXPECT_NE(SectorHash(sector.data()), h);
  const std::vector<uint8_t> silence(kSecureSectorBytes, 0);
  EXPECT_EQ(SectorHash(silence.data()), SectorHash(std::vector<uint8_t>(kSecureSectorBytes, 0).data()));
}

}  // namespace
}  // namespace tonvik
