// Byte-exact ID3 tags, the comment lists and the metadata object factory.
#include <gtest/gtest.h>

#include "core/app_exception.h"
#include "encoders/tag_data.h"
#include "test_env.h"

namespace tonvik {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(const Bytes& tag, const char* id) {
  for (size_t i = 10; i + 10 <= tag.size();) {
    const size_t size = tag[i + 4] << 21 | tag[i + 5] << 14 | tag[i + 6] << 7 | tag[i + 7];
    if (std::equal(id, id + 4, tag.begin() + static_cast<long>(i))) {
      return Bytes(tag.begin() + static_cast<long>(i),
                   tag.begin() + static_cast<long>(i + 10 + size));
    }
    i += 10 + size;
  }
  return {};
}

class TagTest : public ::testing::Test {
 protected:
  // The tags of track index + 1 of the test's record, as the encoders get them.
  CCDDBTagData Track(uint32_t index) const { return CCDDBTagData(std::make_shared<const DiscMetadata>(disc), index); }
  test::Sandbox sandbox;
  DiscMetadata disc;
};

TEST_F(TagTest, Id3v2FramesAreByteExact) {
  disc.titles.assign(12, "x");
  disc.titles[6] = "abc";
  Bytes tag;
  Track(6).GetID3v2(tag);
  EXPECT_EQ(Frame(tag, "TIT2"), (Bytes{0x54, 0x49, 0x54, 0x32, 0, 0, 0, 4, 0, 0, 3, 'a', 'b', 'c'}));
  EXPECT_EQ(Frame(tag, "TRCK"), (Bytes{0x54, 0x52, 0x43, 0x4B, 0, 0, 0, 2, 0, 0, 3, '7'}));
  // Header: "ID3" 4.0, no flags, synchsafe size of everything after it.
  ASSERT_EQ(tag.size(), 10u + 14 + 12);
  EXPECT_EQ(Bytes(tag.begin(), tag.begin() + 10), (Bytes{'I', 'D', '3', 4, 0, 0, 0, 0, 0, 26}));

  disc.titles[6] = std::string(200, 'T');
  Track(6).GetID3v2(tag);
  const Bytes title = Frame(tag, "TIT2");
  ASSERT_EQ(title.size(), 10u + 201);
  EXPECT_EQ(Bytes(title.begin() + 4, title.begin() + 8), (Bytes{0, 0, 1, 0x49}));
  // 211 + 12 = 223 = 1·128 + 95.
  EXPECT_EQ(Bytes(tag.begin() + 6, tag.begin() + 10), (Bytes{0, 0, 1, 95}));
}

TEST_F(TagTest, Id3v2FrameOrderSkipsEmptyFields) {
  disc = DiscMetadata{"Art", "Alb", "1999", "", "", {"One"}, "rel"};
  Bytes tag;
  Track(0).GetID3v2(tag);
  std::vector<std::string> ids;
  for (size_t i = 10; i + 10 <= tag.size();) {
    ids.emplace_back(tag.begin() + static_cast<long>(i), tag.begin() + static_cast<long>(i + 4));
    i += 10 + (tag[i + 4] << 21 | tag[i + 5] << 14 | tag[i + 6] << 7 | tag[i + 7]);
  }
  EXPECT_EQ(ids, (std::vector<std::string>{"TIT2", "TPE1", "TALB", "TYER", "TRCK"}));
  // Genre and comment missing: no ID3v1 tag at all.
  Bytes v1{1};
  Track(0).GetID3v1(v1);
  EXPECT_TRUE(v1.empty());
}

// The disc's codes add frames after the ones of a disc without them, which
// stay byte for byte: TSRC for a track with an ISRC, TXXX CATALOGNUMBER for a
// disc with a catalogue number; nothing for what the disc lacks.
TEST_F(TagTest, Id3v2CodesAreAddedOnlyWhereTheDiscHasThem) {
  const struct {
    const char* name;
    std::string catalog;
    std::vector<std::string> isrcs;
    uint32_t track;
    Bytes added;  // the frames after TRCK
  } cases[] = {
      {"none", "", {}, 0, {}},
      {"isrc_of_another_track", "", {"", "GBAYE0000002"}, 0, {}},
      {"isrc", "", {"GBAYE0000001"}, 0,
       {'T', 'S', 'R', 'C', 0, 0, 0, 13, 0, 0, 3, 'G', 'B', 'A', 'Y', 'E', '0', '0', '0', '0', '0', '0', '1'}},
      {"catalog", "4006381333931", {}, 0,
       {'T', 'X', 'X', 'X', 0, 0, 0, 28, 0, 0, 3, 'C', 'A', 'T', 'A', 'L', 'O', 'G', 'N', 'U', 'M', 'B', 'E', 'R', 0,
        '4', '0', '0', '6', '3', '8', '1', '3', '3', '3', '9', '3', '1'}},
  };
  disc = DiscMetadata{"Art", "Alb", "1999", "", "", {"One", "Two"}, "rel"};
  Bytes plain;
  Track(0).GetID3v2(plain);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    disc.catalog = c.catalog;
    disc.isrcs = c.isrcs;
    Bytes tag;
    Track(c.track).GetID3v2(tag);
    ASSERT_EQ(tag.size(), plain.size() + c.added.size());
    EXPECT_EQ(Bytes(tag.begin() + 10, tag.begin() + static_cast<long>(plain.size())), Bytes(plain.begin() + 10, plain.end()));
    EXPECT_EQ(Bytes(tag.begin() + static_cast<long>(plain.size()), tag.end()), c.added);
    const size_t body = tag.size() - 10;
    EXPECT_EQ(Bytes(tag.begin() + 6, tag.begin() + 10),
              (Bytes{uint8_t(body >> 21 & 0x7F), uint8_t(body >> 14 & 0x7F), uint8_t(body >> 7 & 0x7F), uint8_t(body & 0x7F)}));
  }
}

TEST_F(TagTest, Id3v1LayoutGenreAndLatin1) {
  struct Case {
    const char* genre;
    uint8_t index;
  } cases[] = {{"heavy METAL", 137}, {"Blues", 0}, {"Synthpop", 147}, {"Nope", 255}};
  for (const auto& c : cases) {
    disc = DiscMetadata{"Bj\xC3\xB6rk", std::string(40, 'A'), "19999", c.genre, "note",
                              {"t1", "Caf\xC3\xA9"}, ""};
    Bytes tag;
    Track(1).GetID3v1(tag);
    ASSERT_EQ(tag.size(), 128u) << c.genre;
    EXPECT_EQ(std::string(tag.begin(), tag.begin() + 3), "TAG");
    EXPECT_EQ(std::string(tag.begin() + 3, tag.begin() + 8), "Caf\xE9" + std::string(1, '\0'));
    EXPECT_EQ(std::string(tag.begin() + 33, tag.begin() + 39), "Bj\xF6rk" + std::string(1, '\0'));
    EXPECT_EQ(std::string(tag.begin() + 63, tag.begin() + 93), std::string(30, 'A'));
    EXPECT_EQ(std::string(tag.begin() + 93, tag.begin() + 97), "1999");
    EXPECT_EQ(tag[125], 0);
    EXPECT_EQ(tag[126], 2);
    EXPECT_EQ(tag[127], c.index) << c.genre;
  }
}

// The hidden track before track 1: number 0 and its own title, never the
// ISRC of track 1 or of any other entry of the record.
TEST_F(TagTest, TheHiddenTrackIsNumber0WithItsOwnTitle) {
  disc = DiscMetadata{"Art", "Alb", "1999", "Rock", "c", {"One", "Two"}, "rel"};
  disc.isrcs = {"GBAYE0000001", "GBAYE0000002"};
  Bytes tag;
  Track(kHiddenTrackIndex).GetID3v2(tag);
  EXPECT_EQ(Frame(tag, "TRCK"), (Bytes{'T', 'R', 'C', 'K', 0, 0, 0, 2, 0, 0, 3, '0'}));
  const Bytes title = Frame(tag, "TIT2");
  EXPECT_EQ(std::string(title.begin() + 11, title.end()), kHiddenTrackTitle);
  EXPECT_TRUE(Frame(tag, "TSRC").empty());
  Bytes v1;
  Track(kHiddenTrackIndex).GetID3v1(v1);
  ASSERT_EQ(v1.size(), 128u);
  EXPECT_EQ(v1[126], 0) << "ID3v1.1 has no number 0: the field stays empty";
  EXPECT_EQ(std::string(v1.begin() + 3, v1.begin() + 3 + 12), kHiddenTrackTitle);
  // The index before the first is the only one beyond the list it takes.
  EXPECT_NO_THROW(test::Tags(disc, kHiddenTrackIndex));
  EXPECT_THROW(test::Tags(disc, kHiddenTrackIndex - 1), AppException);
}

TEST_F(TagTest, FactoryAndIndexCheck) {
  EXPECT_NE(dynamic_cast<CEmptyTagData*>(test::Tags(disc, 3).get()), nullptr);
  disc.titles = {"a", "b"};
  EXPECT_NE(dynamic_cast<CCDDBTagData*>(test::Tags(disc, 1).get()), nullptr);
  try {
    test::Tags(disc, 2);
    FAIL() << "no exception";
  } catch (const AppException& e) {
    EXPECT_STREQ(e.what(), "Internal error #4765.");
  }
  Bytes v2{1}, v1{1};
  CEmptyTagData().GetID3v2(v2);
  CEmptyTagData().GetID3v1(v1);
  EXPECT_TRUE(v2.empty());
  EXPECT_TRUE(v1.empty());
}

TEST(Utf8ToWideTest, Conversions) {
  struct Case {
    const char* in;
    std::u16string out;
  } cases[] = {
      {"abc", u"abc"},
      {"\xC3\xA9t\xC3\xA9", u"\u00E9t\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x8E\xB5!", u"\U0001F3B5!"},  // surrogate pair
      {"ab\xE2\x82", u"ab"},                    // cut short by the terminator
      {"\xC3", u""},
      {"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToWide(c.in), c.out) << c.in;
  EXPECT_EQ(Utf8ToWide(nullptr), u"");
}

}  // namespace
}  // namespace tonvik
