#include "rip/encoder_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>

#include "support/wait_until.h"

namespace tonvik {
namespace {

constexpr size_t kChunk = 61152;

// An encoder whose worker stays in Write until `go` is set.
class HeldEncoder : public CEncoder {
 public:
  explicit HeldEncoder(std::shared_ptr<ManualResetEvent> go) : go_(std::move(go)) {}
  void Write(const void*, uint32_t bytes, uint32_t* taken) override {
    go_->Wait();
    if (taken) *taken = bytes;
  }
  void Finish() override {}

 private:
  std::shared_ptr<ManualResetEvent> go_;
};

// The PCM waiting for the encoders stays within the budget while they are
// held up, the job goes on as soon as they write again, and every chunk is
// counted as encoded once.
TEST(EncoderPool, HoldsNoMoreThanTheBudgetAndCountsEveryChunkOnce) {
  struct Case {
    int threads;
    size_t budget;
  };
  constexpr int kChunks = 300;  // 18 MB
  for (const Case& c : {Case{1, size_t(160) << 20}, Case{2, size_t(1) << 20}, Case{1, 4 * kChunk}}) {
    SCOPED_TRACE(std::to_string(c.threads) + " threads, budget " + std::to_string(c.budget));
    std::atomic<uint8_t> cancel{0};
    std::atomic<uint32_t> encoded{0};
    auto running = std::make_shared<ManualResetEvent>(true);
    auto go = std::make_shared<ManualResetEvent>(false);
    EncoderPool pool(c.threads, c.budget, kChunk, {&cancel, running, &encoded});
    const int track = pool.Begin(std::make_unique<HeldEncoder>(go));
    std::atomic<int> pushed{0};
    std::thread job([&] {
      for (int i = 0; i < kChunks; ++i) pushed += pool.Push(track, pool.Buffer(kChunk));
      pool.End(track);
    });
    if (c.budget >= kChunks * kChunk) {
      EXPECT_TRUE(testing::WaitUntil([&] { return pushed == kChunks; }));
    } else {
      EXPECT_TRUE(testing::WaitUntil([&] { return pool.held_bytes() + kChunk > c.budget; }));
      EXPECT_LT(pushed.load(), kChunks);
    }
    go->Set();
    job.join();
    EXPECT_TRUE(pool.WaitDone(track, std::chrono::minutes(2)));
    EXPECT_EQ(pool.Outcome(track).encoded, int64_t(kChunks * kChunk));
    EXPECT_EQ(encoded.load(), uint32_t(kChunks * kChunk));
    EXPECT_TRUE(pool.Outcome(track).written);
    EXPECT_EQ(pool.held_bytes(), 0u);
    EXPECT_LE(pool.most_held_bytes(), std::max(c.budget, kChunk));
  }
}

}  // namespace
}  // namespace tonvik
