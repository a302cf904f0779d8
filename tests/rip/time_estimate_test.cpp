// The progress text from a simulated clock: one Tick per 500 ms.
#include <gtest/gtest.h>

#include "rip/time_estimate.h"

namespace tonvik {
namespace {

TEST(TimeEstimate, ShowsNaDuringTheFirstNineSecondsThenTheEstimate) {
  TimeEstimate e;
  const uint32_t total = 10 * 1000 * 1000;
  uint32_t done = 0;
  std::u16string text;
  // 100 kB per 500 ms tick = 200 kB/s.
  for (uint32_t ms = 500; ms < 10000; ms += 500, done += 100000) {
    text = e.Tick(ms, total, done);
    ASSERT_EQ(text.substr(text.size() - 15), u"Time left: n/a.") << ms;
  }
  EXPECT_EQ(text, u"Time elapsed: 00:09. Time left: n/a.");
  text = e.Tick(10000, total, done);
  EXPECT_EQ(text.substr(0, 21), u"Time elapsed: 00:10. ");
  EXPECT_NE(text, u"Time elapsed: 00:10. Time left: n/a.");
}

TEST(TimeEstimate, EstimatesEveryTenthTickAndCountsDownOnceASecond) {
  TimeEstimate e;
  // Ticks 0..8 count up; on tick index 9 the estimate is made from 5 s of data.
  for (int i = 0; i < 9; ++i) e.Tick(0, 1000000, 0);
  EXPECT_EQ(e.tick_count, 9);
  // 50000 bytes in 5 s = 10000 B/s; 950000 left = 95 s.
  std::u16string text = e.Tick(12000, 1000000, 50000);
  EXPECT_EQ(e.seconds_left, 95u);
  EXPECT_EQ(e.tick_count, 0);
  EXPECT_EQ(e.last_sample, 50000u);
  EXPECT_EQ(text, u"Time elapsed: 00:12. Time left: 01:35.");
  // Next ticks: count 0 (even) keeps, 1 (odd) decreases: once a second.
  e.Tick(12500, 1000000, 50000);
  EXPECT_EQ(e.seconds_left, 95u);
  e.Tick(13000, 1000000, 50000);
  EXPECT_EQ(e.seconds_left, 94u);
}

TEST(TimeEstimate, APauseLongerThanTheEstimateStopsAtZeroUntilDataMoves) {
  TimeEstimate e;
  e.seconds_left = 3;
  e.tick_count = 1;
  e.last_sample = 500;
  std::u16string text;
  for (int i = 0; i < 40; ++i) text = e.Tick(60000 + i * 500, 1000, 500);  // nothing moves
  EXPECT_EQ(e.seconds_left, 0u);
  EXPECT_EQ(text.substr(text.size() - 17), u"Time left: 00:00.");
  EXPECT_EQ(e.last_sample, 500u);
}

TEST(TimeEstimate, LongJobsFormatMinutesBeyondAnHour) {
  TimeEstimate e;
  e.tick_count = 9;
  // 1 byte in 5 s with 1000 bytes left: 5000 s = 83:20.
  EXPECT_EQ(e.Tick(4000 * 1000, 1001, 1), u"Time elapsed: 66:40. Time left: 83:20.");
}

}  // namespace
}  // namespace tonvik
