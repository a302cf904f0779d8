#include "rip/chunk_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace tonvik {
namespace {

constexpr size_t kSlot = 61152;

// Fills a chunk with bytes that say which chunk it is, and checks them.
void Stamp(PcmChunk& chunk, uint32_t id) {
  for (size_t i = 0; i < chunk.size(); ++i) chunk.data()[i] = uint8_t(id * 31 + i * 7);
}
bool Holds(const PcmChunk& chunk, uint32_t id) {
  for (size_t i = 0; i < chunk.size(); ++i)
    if (chunk.data()[i] != uint8_t(id * 31 + i * 7)) return false;
  return true;
}

// Every chunk out at once has its own bytes, from the slots while they last
// and from the heap after them; every slot comes back.
TEST(ChunkStore, ChunksOutAtOnceNeverShareBytes) {
  struct Case {
    size_t slots;
    size_t take;
    size_t size;
  };
  for (const Case& c : {Case{8, 8, kSlot}, Case{8, 20, kSlot}, Case{5, 12, 100}, Case{4, 6, 3 * kSlot}, Case{0, 3, kSlot}}) {
    SCOPED_TRACE(std::to_string(c.slots) + " slots, " + std::to_string(c.take) + " of " + std::to_string(c.size));
    ChunkStore store(kSlot, c.slots);
    std::vector<PcmChunk> out;
    for (size_t i = 0; i < c.take; ++i) {
      out.push_back(store.Take(c.size));
      ASSERT_EQ(out.back().size(), c.size);
      ASSERT_GE(out.back().capacity(), c.size);
      Stamp(out.back(), uint32_t(i));
    }
    for (size_t i = 0; i < c.take; ++i) EXPECT_TRUE(Holds(out[i], uint32_t(i))) << i;
    EXPECT_EQ(store.slots_out(), c.size <= kSlot ? std::min(c.slots, c.take) : 0u);
    out.clear();
    EXPECT_EQ(store.slots_out(), 0u);
  }
}

// A rip takes and gives back far more chunks than the store has slots: the
// slots are used again, and a moved chunk gives its slot back once.
TEST(ChunkStore, SlotsAreUsedAgainAndGivenBackOnce) {
  ChunkStore store(kSlot, 4);
  std::vector<const uint8_t*> seen;
  for (int round = 0; round < 100; ++round) {
    PcmChunk a = store.Take(kSlot);
    PcmChunk b = store.Take(kSlot / 2);
    PcmChunk moved = std::move(a);
    b = std::move(moved);  // a's slot now in b; b's old slot goes back
    EXPECT_EQ(store.slots_out(), 1u);
    b.resize(10);
    EXPECT_EQ(b.capacity(), kSlot);
    seen.push_back(b.data());
  }
  EXPECT_EQ(store.slots_out(), 0u);
  std::sort(seen.begin(), seen.end());
  EXPECT_LE(std::unique(seen.begin(), seen.end()) - seen.begin(), 4);
}

// The job takes chunks while the encoder workers give theirs back.
TEST(ChunkStore, TakenAndGivenBackFromSeveralThreads) {
  ChunkStore store(kSlot, 16);
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (uint32_t i = 0; i < 500; ++i) {
        std::vector<PcmChunk> held;
        for (uint32_t k = 0; k < 6; ++k) {
          held.push_back(store.Take(kSlot - k));
          Stamp(held.back(), i * 8 + k + uint32_t(t) * 100000);
        }
        for (uint32_t k = 0; k < 6; ++k) wrong[size_t(t)] += !Holds(held[k], i * 8 + k + uint32_t(t) * 100000);
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
  EXPECT_EQ(store.slots_out(), 0u);
}

}  // namespace
}  // namespace tonvik
