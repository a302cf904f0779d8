// Reading the database's answer: the real reply, every attribute order,
// entries to pass over, unreadable fields, and hostile bodies (cut, huge,
// entity bombs, external entities, deep nesting) that must be refused
// without harm.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ctdb/answer.h"

namespace tonvik::ctdb {
namespace {

std::string ReadText(const std::string& name) {
  std::ifstream in(std::string(TONVIK_CTDB_DATA) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Ctdb(const std::string& inside) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\" "
         "xmlns:ext=\"http://db.cuetools.net/ns/ext-1.0#\">" + inside + "</ctdb>";
}

const std::string kToc = "toc=\"0:16032:32072:47282:62810\"";
const std::string kCrcs = "trackcrcs=\"97217ee6 dc8a2af2 338369b1 2eac339c\"";

std::string Entry(const std::string& attributes) { return "<entry " + attributes + "/>"; }

TEST(CtdbAnswer, TheRealReply) {
  const Answer answer = ReadAnswer(ReadText("found.xml"));
  ASSERT_EQ(answer.status, LookupStatus::Found);
  ASSERT_EQ(answer.entries.size(), 1u);
  const ctdb::Entry& e = answer.entries[0];
  EXPECT_EQ(e.id, "3117474");
  EXPECT_EQ(e.crc, 0x5457b143u);
  EXPECT_EQ(e.confidence, 8);
  EXPECT_EQ(e.stride, 5880);
  EXPECT_EQ(e.toc, "0:16032:32072:47282:62810");
  EXPECT_EQ(e.disc.tracks.size(), 4u);
  EXPECT_EQ(e.disc.lead_out, 62810);
  ASSERT_TRUE(e.track_crcs);
  EXPECT_EQ(*e.track_crcs, (std::vector<uint32_t>{0x97217ee6, 0xdc8a2af2, 0x338369b1, 0x2eac339c}));
  EXPECT_TRUE(e.has_parity);
}

struct BodyCase {
  const char* what;
  std::string body;
  LookupStatus status;
  size_t entries;
  bool track_crcs;  // of the first entry
};

std::vector<BodyCase> BodyCases() {
  const std::string good = "crc32=\"5457b143\" confidence=\"8\" stride=\"5880\" " + kToc;
  return {
      {"attributes in another order", Ctdb(Entry(kCrcs + " stride=\"5880\" " + kToc + " confidence=\"3\" crc32=\"5457B143\"")),
       LookupStatus::Found, 1, true},
      {"two entries, one without a toc", Ctdb(Entry(good) + Entry("crc32=\"00000001\" confidence=\"2\"")),
       LookupStatus::Found, 1, false},
      {"only an entry without a toc", Ctdb(Entry("crc32=\"00000001\" confidence=\"2\"")), LookupStatus::NotPresent, 0, false},
      {"metadata and no entry", Ctdb("<musicbrainz artist=\"A\" album=\"B\"/>"), LookupStatus::NotPresent, 0, false},
      {"no entry", Ctdb(""), LookupStatus::NotPresent, 0, false},
      {"trackcrcs one short of the toc", Ctdb(Entry(good + " trackcrcs=\"97217ee6 dc8a2af2 338369b1\"")),
       LookupStatus::Found, 1, false},
      {"trackcrcs one more than the toc", Ctdb(Entry(good + " " + kCrcs.substr(0, kCrcs.size() - 1) + " 00000000\"")),
       LookupStatus::Found, 1, false},
      {"trackcrcs of a toc with a data track", Ctdb(Entry("crc32=\"5457b143\" confidence=\"1\" stride=\"5880\" "
                                                           "toc=\"0:16032:32072:-47282:62810\" "
                                                           "trackcrcs=\"97217ee6 dc8a2af2 338369b1\"")),
       LookupStatus::Found, 1, true},
      {"another stride is read, not judged", Ctdb(Entry("crc32=\"5457b143\" confidence=\"1\" stride=\"11760\" " + kToc)),
       LookupStatus::Found, 1, false},
      {"elements of another name are passed over", Ctdb("<other " + kToc + " crc32=\"zz\"/>" + Entry(good)),
       LookupStatus::Found, 1, false},
      // What the server never writes: the whole answer is refused.
      {"crc32 not hex", Ctdb(Entry("crc32=\"5457b14g\" confidence=\"8\" " + kToc)), LookupStatus::Rejected, 0, false},
      {"crc32 short", Ctdb(Entry("crc32=\"457b143\" confidence=\"8\" " + kToc)), LookupStatus::Rejected, 0, false},
      {"crc32 missing", Ctdb(Entry("confidence=\"8\" " + kToc)), LookupStatus::Rejected, 0, false},
      {"confidence negative", Ctdb(Entry("crc32=\"5457b143\" confidence=\"-1\" " + kToc)), LookupStatus::Rejected, 0, false},
      {"confidence huge", Ctdb(Entry("crc32=\"5457b143\" confidence=\"99999999999\" " + kToc)), LookupStatus::Rejected, 0, false},
      {"toc unreadable", Ctdb(Entry("crc32=\"5457b143\" confidence=\"8\" toc=\"0:abc\"")), LookupStatus::Rejected, 0, false},
      {"trackcrcs not hex", Ctdb(Entry(good + " trackcrcs=\"97217ee6 xx 338369b1 2eac339c\"")), LookupStatus::Rejected, 0, false},
      {"stride not a number", Ctdb(Entry("crc32=\"5457b143\" confidence=\"8\" stride=\"wide\" " + kToc)),
       LookupStatus::Rejected, 0, false},
      // Not an answer at all.
      {"empty body", "", LookupStatus::Rejected, 0, false},
      {"plain text of a failed query", "Invalid arguments", LookupStatus::Rejected, 0, false},
      {"HTML", "<html><body>Not Found</body></html>", LookupStatus::Rejected, 0, false},
      {"cut in the middle", ReadText("found.xml").substr(0, 200), LookupStatus::Rejected, 0, false},
      {"binary", std::string("\x00\x01\xff\xfe<ctdb>", 10), LookupStatus::Rejected, 0, false},
      {"entity bomb", "<?xml version=\"1.0\"?><!DOCTYPE ctdb [<!ENTITY a \"aaaaaaaaaa\">"
                      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                      "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">"
                      "<!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\"><!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]>"
                      "<ctdb><entry crc32=\"5457b143\" confidence=\"8\" " + kToc + " id=\"&g;\"/></ctdb>",
       LookupStatus::Rejected, 0, false},
      {"external entity", "<?xml version=\"1.0\"?><!DOCTYPE ctdb [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
                          "<ctdb><entry crc32=\"5457b143\" confidence=\"8\" " + kToc + " id=\"&x;\"/></ctdb>",
       LookupStatus::Rejected, 0, false},
      {"external DTD", "<?xml version=\"1.0\"?><!DOCTYPE ctdb SYSTEM \"http://127.0.0.1:9/ctdb.dtd\">" + Ctdb(""),
       LookupStatus::Rejected, 0, false},
      {"another root", "<metadata>" + Entry("crc32=\"5457b143\" confidence=\"8\" " + kToc) + "</metadata>",
       LookupStatus::Rejected, 0, false},
      {"a million '<'", Ctdb(std::string(1000000, '<')), LookupStatus::Rejected, 0, false},
      {"larger than any answer", Ctdb(std::string(kLargestAnswer, ' ')), LookupStatus::Rejected, 0, false},
  };
}

TEST(CtdbAnswer, Bodies) {
  for (const BodyCase& c : BodyCases()) {
    SCOPED_TRACE(c.what);
    const Answer answer = ReadAnswer(c.body);
    EXPECT_EQ(answer.status, c.status);
    EXPECT_EQ(answer.entries.size(), c.entries);
    if (!answer.entries.empty()) {
      EXPECT_EQ(answer.entries[0].track_crcs.has_value(), c.track_crcs);
    }
  }
}

TEST(CtdbAnswer, DeepButWellFormedNestingIsRefused) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  for (int i = 0; i < 100000; ++i) deep += "</a>";
  const Answer answer = ReadAnswer(Ctdb(deep + Entry("crc32=\"5457b143\" confidence=\"8\" " + kToc)));
  // libxml2 refuses nesting deeper than 256 unless told otherwise.
  EXPECT_EQ(answer.status, LookupStatus::Rejected);
}

TEST(CtdbAnswer, ManyEntriesAllRead) {
  std::string inside;
  for (int i = 0; i < 500; ++i)
    inside += Entry("id=\"" + std::to_string(i) + "\" crc32=\"" + std::string(8, "0123456789abcdef"[i % 16]) +
                    "\" confidence=\"" + std::to_string(i) + "\" stride=\"5880\" " + kToc + " " + kCrcs);
  const Answer answer = ReadAnswer(Ctdb(inside));
  ASSERT_EQ(answer.status, LookupStatus::Found);
  ASSERT_EQ(answer.entries.size(), 500u);
  for (int i = 0; i < 500; ++i) {
    EXPECT_EQ(answer.entries[size_t(i)].confidence, i);
    EXPECT_EQ(answer.entries[size_t(i)].id, std::to_string(i));
  }
}

}  // namespace
}  // namespace tonvik::ctdb
