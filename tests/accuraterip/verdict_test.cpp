// The verdict per track over records of several pressings: v1 and v2 found
// in different pressings, matches outside the most confident pressing,
// slots without data, and lookups that gave no record.
#include <gtest/gtest.h>

#include "accuraterip/verdict.h"

namespace tonvik::accuraterip {
namespace {

RecordLookup Found(std::vector<Pressing> pressings) { return {LookupStatus::Found, std::move(pressings)}; }

// whipper's two-track record: v1 sums in the first pressing, v2 in the second.
const RecordLookup kTwoPressings = Found({
    {{{12, 0x284fc705, 0x3b97f8a4}, {20, 0x9cc1f32e, 0xdc5500de}}},
    {{{7, 0xdc77f9ab, 0}, {7, 0xdd97d2c3, 0}}},
});

// A data track's slot (zero) first, then a pressing whose match has no confidence.
const RecordLookup kEmptySlots = Found({
    {{{0, 0, 0}, {3, 0xaaaa0001, 0}}},
    {{{0, 0, 0}, {0, 0xbbbb0002, 0}}},
});

struct VerdictCase {
  const char* what;
  const RecordLookup* record;
  int slot;
  uint32_t v1, v2;
  Verdict verdict;
  int confidence;
  MatchedSum sum;
  int best;
};

const RecordLookup kNotPresent{LookupStatus::NotPresent, {}};
const RecordLookup kUnreachable{LookupStatus::Unreachable, {}};
const RecordLookup kRejected{LookupStatus::Rejected, {}};
const RecordLookup kSkipped{LookupStatus::Skipped, {}};
const RecordLookup kCancelled{LookupStatus::Cancelled, {}};
const RecordLookup kSame = Found({{{{5, 0x1111, 0}}}, {{{9, 0x1111, 0}}}});

const VerdictCase kCases[] = {
    {"v1 and v2 in different pressings: the more confident", &kTwoPressings, 0, 0x284fc705, 0xdc77f9ab,
     Verdict::Accurate, 12, MatchedSum::V1, 12},
    {"v2 in the less confident pressing", &kTwoPressings, 0, 0x12345678, 0xdc77f9ab, Verdict::Accurate, 7,
     MatchedSum::V2, 12},
    {"v1 of track 2", &kTwoPressings, 1, 0x9cc1f32e, 0, Verdict::Accurate, 20, MatchedSum::V1, 20},
    {"another track's sum", &kTwoPressings, 1, 0x284fc705, 0xdc77f9ab, Verdict::NotAccurate, 0, MatchedSum::None,
     20},
    {"no match", &kTwoPressings, 0, 1, 2, Verdict::NotAccurate, 0, MatchedSum::None, 12},
    {"v1 equal to v2", &kSame, 0, 0x1111, 0x1111, Verdict::Accurate, 9, MatchedSum::V2, 9},
    {"a slot past the record", &kTwoPressings, 2, 0x284fc705, 0xdc77f9ab, Verdict::NotPresent, 0,
     MatchedSum::None, 0},
    {"zero entries, zero sums", &kEmptySlots, 0, 0, 0, Verdict::NotPresent, 0, MatchedSum::None, 0},
    {"a match without confidence", &kEmptySlots, 1, 0xbbbb0002, 0, Verdict::NotAccurate, 0, MatchedSum::None,
     3},
    {"no record", &kNotPresent, 0, 1, 2, Verdict::NotPresent, 0, MatchedSum::None, 0},
    {"no answer", &kUnreachable, 0, 1, 2, Verdict::Unreachable, 0, MatchedSum::None, 0},
    {"a refused answer", &kRejected, 0, 1, 2, Verdict::Unreachable, 0, MatchedSum::None, 0},
    {"not asked", &kSkipped, 0, 1, 2, Verdict::Unreachable, 0, MatchedSum::None, 0},
    {"cancelled", &kCancelled, 0, 1, 2, Verdict::Unreachable, 0, MatchedSum::None, 0},
};

TEST(VerdictTest, Tracks) {
  for (const VerdictCase& c : kCases) {
    SCOPED_TRACE(c.what);
    const TrackVerdict v = VerifyTrack(*c.record, c.slot, c.v1, c.v2);
    EXPECT_EQ(v.verdict, c.verdict);
    EXPECT_EQ(v.confidence, c.confidence);
    EXPECT_EQ(v.sum, c.sum);
    EXPECT_EQ(v.best_confidence, c.best);
  }
}

}  // namespace
}  // namespace tonvik::accuraterip
