// The TOC string, its reading back, the TOCID against published discs (plain,
// enhanced CD, hidden track one audio, both) and the lookup address.
#include <gtest/gtest.h>

#include "ctdb/pcm.h"
#include "ctdb/toc.h"

namespace tonvik::ctdb {
namespace {

using testing::Toc;

struct IdCase {
  const char* toc;
  const char* id;
};

const IdCase kIdCases[] = {
    {"0:11413:25024:45713:55220", "VukMWWItblELRM.CEFpXxw0FlME-"},
    {"0:15047:30797:45995:60397:78942:94607:108395:125382:146117:162905:177397:194782:-220352:332850",
     "gmEsiU5wvQFA1Nq9YE_posiwgK8-"},
    {"32:21180:25110:39232:57730:76330:79185:82515:96282:105612:110650:124772:141292:149317:159710:172327:180325",
     "iL4EZ56YD5WmG..M4v5qzPG0cFY-"},
    {"9192:11094:19038:29394:38510:46846:57819:69690:76516:83243:93209:103737:111481:126900:135914:144791:153607:"
     "161959:173770:186780:196683:207536",
     "8geCxI4CSyw_ydvHWGmPQUGF1UE-"},
    {"32:15437:31705:45607:58345:70022:88015:95562:110147:123075:133987:144742:153945:164312:170700:191697:200987:"
     "211157:223797:233685:244447:251252:264720:270952:-297682:320565",
     "sBOUSHYC0oLdQZtAEQcmnc3V3Ak-"},
    {"0:22452:48310:75540:95030:113275:117910:141930:164190:191077:217357:235317:258477:269940",
     "A0o8jAlrcLu.n.GYK9wCh4GdvOI-"},
};

TEST(CtdbToc, TocIdOfPublishedDiscs) {
  for (const IdCase& c : kIdCases) {
    SCOPED_TRACE(c.toc);
    const auto toc = ParseTocString(c.toc);
    ASSERT_TRUE(toc);
    EXPECT_EQ(TocString(*toc), c.toc);  // read back, written again
    EXPECT_EQ(TocId(*toc), c.id);
  }
}

TEST(CtdbToc, TocIdDependsOnTheAudioAloneRelativeToItsStart) {
  // The same audio after a longer hidden first track, or with the data track
  // of an enhanced CD removed (its audio ending where the session did), has
  // the same TOCID; one sector more in a track does not.
  const std::string plain = TocId(Toc("0:15047:30797:194782:209000"));
  EXPECT_EQ(TocId(Toc("150:15197:30947:194932:209150")), plain);
  EXPECT_EQ(TocId(Toc("0:15047:30797:194782:-220400:332850")), plain);
  EXPECT_NE(TocId(Toc("0:15048:30797:194782:209000")), plain);
  EXPECT_EQ(plain.size(), 28u);
}

TEST(CtdbToc, FromTheDrivesReadToc) {
  // READ TOC format 0: header, then 8 bytes a track (control nibble in byte 1,
  // number in byte 2, LBA in bytes 4-7), the lead-out as track 0xAA.
  auto entry = [](uint8_t control, uint8_t number, uint32_t lba) {
    return std::vector<uint8_t>{0, uint8_t(0x10 | control), number, 0, uint8_t(lba >> 24), uint8_t(lba >> 16),
                                uint8_t(lba >> 8), uint8_t(lba)};
  };
  std::vector<uint8_t> bytes{0, 0, 1, 3};
  for (const auto& e : {entry(0, 1, 0), entry(0, 2, 15047), entry(4, 3, 220352), entry(4, 0xAA, 332850)})
    bytes.insert(bytes.end(), e.begin(), e.end());
  const auto toc = accuraterip::DiscTocFromReadToc(bytes);
  ASSERT_TRUE(toc);
  EXPECT_EQ(TocString(*toc), "0:15047:-220352:332850");
  EXPECT_EQ(LookupUrl(*toc),
            "http://db.cuetools.net/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=0:15047:-220352:332850");
  EXPECT_EQ(LookupUrl(*toc, "http://example.invalid"),
            "http://example.invalid/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=0:15047:-220352:332850");
}

struct LayoutCase {
  const char* toc;
  int32_t first;
  int32_t end;
  std::vector<uint64_t> starts;
};

TEST(CtdbToc, AudioLayout) {
  const LayoutCase cases[] = {
      {"0:100:250", 0, 250, {0, 100 * 588}},
      {"13:68:99:136", 13, 136, {0, 55 * 588, 86 * 588}},                    // hidden track one audio
      {"0:100:-20000:30000", 0, 20000 - 11400, {0, 100 * 588}},            // enhanced CD
      {"-0:12000:13000:20000", 12000, 20000, {0, 1000 * 588}},             // data track first
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.toc);
    const AudioLayout layout = LayoutOf(Toc(c.toc));
    EXPECT_EQ(layout.first_sector, c.first);
    EXPECT_EQ(layout.end_sector, c.end);
    EXPECT_EQ(layout.track_starts, c.starts);
    EXPECT_EQ(layout.samples, uint64_t(c.end - c.first) * 588);
  }
}

TEST(CtdbToc, MalformedTocStringsAreRefused) {
  std::string hundred_tracks;
  for (int i = 0; i < 100; ++i) hundred_tracks += std::to_string(i * 10) + ":";
  hundred_tracks += "5000";
  const std::string cases[] = {"", "0", ":", "0:", ":5", "0::5", "0:abc", "0:5x", "0x10:20", "10:5", "0:5:5",
                               "0:-100", "--1:5", "-:5", "0:+5", "0:99999999999", " 0:5", "0:5 ", hundred_tracks};
  for (const std::string& c : cases) EXPECT_FALSE(ParseTocString(c)) << c;
  EXPECT_TRUE(ParseTocString("0:5"));
}

}  // namespace
}  // namespace tonvik::ctdb
