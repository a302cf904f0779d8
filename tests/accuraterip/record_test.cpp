// The record reader: the published fixtures' bytes, records of several
// pressings, and what it refuses (cut, padded, foreign headers) or takes
// for "no record" (empty, an HTML page).
#include <gtest/gtest.h>

#include "accuraterip/record.h"
#include "accuraterip/record_bytes.h"

namespace tonvik::accuraterip {
namespace {

using testing::Chunk;

const DiscIds kOneTrack{1, 0x000441fd, 0x000883fb, 0x020e8801};
const DiscIds kTwoTracks{2, 0x0000f21c, 0x00027ef8, 0x05021002};

void ExpectEntry(const TrackEntry& e, int confidence, uint32_t crc, uint32_t crc450) {
  EXPECT_EQ(e.confidence, confidence);
  EXPECT_EQ(e.crc, crc);
  EXPECT_EQ(e.crc450, crc450);
}

// The first chunk of ARver's dBAR-001-000441fd-000883fb-020e8801.bin as
// published, and its second chunk.
TEST(RecordTest, PublishedBytes) {
  const unsigned char first[] = {0x01, 0xfd, 0x41, 0x04, 0x00, 0xfb, 0x83, 0x08, 0x00, 0x01, 0x88,
                                 0x0e, 0x02, 0x07, 0x1e, 0x54, 0x16, 0x27, 0x6b, 0xca, 0xd5, 0x07};
  std::string body(reinterpret_cast<const char*>(first), sizeof first);
  body += Chunk(kOneTrack, {{6, 0x80345486, 0}});
  ASSERT_EQ(body.size(), 44u);
  const RecordLookup r = ReadRecord(body, "application/octet-stream", kOneTrack);
  ASSERT_EQ(r.status, LookupStatus::Found);
  ASSERT_EQ(r.pressings.size(), 2u);
  ExpectEntry(r.pressings[0].tracks.at(0), 7, 0x2716541e, 0x07d5ca6b);
  ExpectEntry(r.pressings[1].tracks.at(0), 6, 0x80345486, 0);
}

TEST(RecordTest, PressingsKeepTheirOrderAndEntries) {
  // whipper's two-track fixture: v1 sums in one chunk, v2 sums in the other.
  const std::string body = Chunk(kTwoTracks, {{12, 0x284fc705, 0x3b97f8a4}, {20, 0x9cc1f32e, 0xdc5500de}}) +
                           Chunk(kTwoTracks, {{7, 0xdc77f9ab, 0}, {7, 0xdd97d2c3, 0}});
  ASSERT_EQ(body.size(), 62u);
  const RecordLookup r = ReadRecord(body, "", kTwoTracks);
  ASSERT_EQ(r.status, LookupStatus::Found);
  ASSERT_EQ(r.pressings.size(), 2u);
  ASSERT_EQ(r.pressings[0].tracks.size(), 2u);
  ExpectEntry(r.pressings[0].tracks[1], 20, 0x9cc1f32e, 0xdc5500de);
  ExpectEntry(r.pressings[1].tracks[0], 7, 0xdc77f9ab, 0);
  EXPECT_FALSE((TrackEntry{0, 0x1234, 0}).HasData());
  EXPECT_FALSE((TrackEntry{5, 0, 0}).HasData());
}

struct BodyCase {
  const char* what;
  std::string body;
  std::string content_type;
  LookupStatus expected;
};

std::string Good() { return Chunk(kTwoTracks, {{3, 1, 2}, {4, 5, 6}}); }
std::string WithHeader(DiscIds ids) { return Good() + Chunk(ids, {{3, 1, 2}, {4, 5, 6}}); }
DiscIds Changed(uint32_t DiscIds::*field) {
  DiscIds ids = kTwoTracks;
  ids.*field ^= 0x100;
  return ids;
}

TEST(RecordTest, WhatIsRefusedOrNotARecord) {
  const std::string html = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML 2.0//EN\"><html><body>404</body></html>";
  DiscIds three = kTwoTracks;
  three.audio_tracks = 3;
  const BodyCase cases[] = {
      {"two chunks", Good() + Good(), "application/octet-stream", LookupStatus::Found},
      {"no content type", Good(), "", LookupStatus::Found},
      {"empty", "", "application/octet-stream", LookupStatus::NotPresent},
      {"an HTML page", html, "text/html; charset=iso-8859-1", LookupStatus::NotPresent},
      {"an HTML page without a type", html, "", LookupStatus::NotPresent},
      {"HTML-like bytes said to be a record", html, "application/octet-stream", LookupStatus::Rejected},
      {"one byte short", (Good() + Good()).substr(0, 61), "", LookupStatus::Rejected},
      {"one byte over", Good() + '\0', "", LookupStatus::Rejected},
      {"half a header", Good().substr(0, 7), "", LookupStatus::Rejected},
      {"garbage", std::string("\x01\x02 this is <<not xml at all& \xff\xfe"), "", LookupStatus::Rejected},
      {"second chunk: other track count", WithHeader(three).substr(0, 62), "", LookupStatus::Rejected},
      {"second chunk: other ID 1", WithHeader(Changed(&DiscIds::id1)), "", LookupStatus::Rejected},
      {"second chunk: other ID 2", WithHeader(Changed(&DiscIds::id2)), "", LookupStatus::Rejected},
      {"second chunk: other FreeDB ID", WithHeader(Changed(&DiscIds::freedb)), "", LookupStatus::Rejected},
  };
  for (const BodyCase& c : cases) {
    SCOPED_TRACE(c.what);
    const RecordLookup r = ReadRecord(c.body, c.content_type, kTwoTracks);
    EXPECT_EQ(r.status, c.expected);
    if (c.expected != LookupStatus::Found) {
      EXPECT_TRUE(r.pressings.empty());
    }
  }
}

}  // namespace
}  // namespace tonvik::accuraterip
