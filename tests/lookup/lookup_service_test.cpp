// The lookup against a loopback web service used as http_proxy: what each
// kind of answer leaves in the disc record, what the requests carry, the
// time bound, and the real service responses of the shared fixtures.
#include <gtest/gtest.h>
#include <libxml/xmlerror.h>
#include <sys/socket.h>
#include <netinet/in.h>

#include <fstream>
#include <regex>

#include "lookup/bounded_lookup.h"
#include "lookup/disc_id.h"
#include "lookup/loopback.h"
#include "lookup/musicbrainz_lookup.h"
#include "support/wait_until.h"
#include "support/no_network.h"

namespace tonvik::lookup {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackServer;
using testing::MakeToc;
using testing::ReadText;

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Tests name a host of their own: the library spaces requests to
// musicbrainz.org 2 s apart, proxy or not.
Service TestService() {
  Service s;
  s.host = "mb.loopback.test";
  return s;
}

class LookupServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tonvik-lookup-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    // The hand-written documents, with this disc's ID put in.
    disc_id_ = DiscIdFromToc(toc_);
    for (const auto& e : fs::directory_iterator(fs::path(TONVIK_SOURCE_DIR) / "tests/lookup/ws2"))
      std::ofstream(dir_ / e.path().filename()) << Replace(ReadText(e.path()), "@DISCID@", disc_id_);
  }
  void TearDown() override {
    server_.reset();
    tonvik::testing::PointProxyNowhere();
    fs::remove_all(dir_);
  }
  void Serve(const std::string& routes) {
    server_.reset();  // the one before is gone before the next one starts
    server_ = std::make_unique<LoopbackServer>(dir_, Replace(routes, "@DISCID@", disc_id_));
    ASSERT_NE(server_->port(), 0) << "the loopback server did not start";
    ::setenv("http_proxy", server_->proxy().c_str(), 1);
  }

  const std::vector<uint8_t> toc_ = MakeToc({0, 15000, 32000}, 45000);
  fs::path dir_;
  std::string disc_id_;
  std::unique_ptr<LoopbackServer> server_;
};

constexpr char kFirst[] = "/ws/2/release/00000000-0000-4000-8000-000000000001";
constexpr char kSecond[] = "/ws/2/release/00000000-0000-4000-8000-000000000002 200 release-second.xml\n";
constexpr char kDisc[] = "/ws/2/discid/@DISCID@";

struct ServiceCase {
  const char* what;
  std::string routes;
  DiscMetadata expected;  // empty: nothing loaded
};

DiscMetadata Record(std::string artist, std::string album, std::string year,
                    std::vector<std::string> titles) {
  DiscMetadata d;
  d.artist = std::move(artist);
  d.album = std::move(album);
  d.year = std::move(year);
  d.titles = std::move(titles);
  d.release_id = "00000000-0000-4000-8000-000000000001";
  return d;
}

void ExpectRecord(const DiscMetadata& got, const DiscMetadata& want) {
  EXPECT_EQ(got.artist, want.artist);
  EXPECT_EQ(got.album, want.album);
  EXPECT_EQ(got.year, want.year);
  EXPECT_EQ(got.genre, "");
  EXPECT_EQ(got.comment, "");
  EXPECT_EQ(got.titles, want.titles);
  EXPECT_EQ(got.release_id, want.release_id);
}

TEST_F(LookupServiceTest, AnswersAndWhatTheyLoad) {
  const std::string disc = std::string(kDisc) + " 200 discid.xml\n";
  auto first = [](const std::string& answer) { return std::string(kFirst) + " " + answer + "\n"; };
  const ServiceCase cases[] = {
      {"several releases: the first wins; UTF-8 kept byte for byte, &amp; decoded, the track's "
       "own title, no prefix for the release's own credit",
       disc + first("200 release-album.xml") + kSecond,
       Record("Sólveig Ærøy", "Ljós & Skuggi", "2001",
              {"Þú & ég", "Дорога домой (live)", "夜明け"})},
      {"no release artist, tracks credited of their own",
       disc + first("200 release-compilation.xml") + kSecond,
       Record("Various artists", "Summer Mix", "1999",
              {"Anna Berg / Open Water", "Kofi & Lee P. / Two Hands", "Anna Berg / Closing Time"})},
      {"two media, the disc is on the second", disc + first("200 release-two-media.xml"),
       Record("Nordlys", "Two Nights", "2013", {"Two A", "Guest Singer / Two B", "Two C"})},
      {"two media without disc lists: the one with the disc's track count",
       disc + first("200 release-by-count.xml"),
       Record("Nordlys", "Long and Short", "", {"Short 1", "Short 2", "Short 3"})},
      {"fewer titles than tracks, no date", disc + first("200 release-short.xml"),
       Record("Kort", "Kort", "", {"Only one", "Only two"})},
      {"disc not known (404)", std::string(kDisc) + " 404 not-found.xml\n", {}},
      {"no release for the disc", std::string(kDisc) + " 200 discid-none.xml\n", {}},
      {"service unavailable for the disc", std::string(kDisc) + " 503\n", {}},
      {"service unavailable for the release", disc + first("503"), {}},
      {"garbage for the disc", std::string(kDisc) + " garbage\n", {}},
      {"garbage for the release", disc + first("garbage"), {}},
      {"connection closed inside the release", disc + first("cut release-album.xml"), {}},
      {"connection closed inside the disc", std::string(kDisc) + " cut discid.xml\n", {}},
  };
  std::ofstream(dir_ / "not-found.xml")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><error><text>Not Found</text></error>";
  if (testing::HaveFixtures()) fs::copy_file(testing::FixturesDir() / "error/not-found.xml",
                                             dir_ / "not-found.xml", fs::copy_options::overwrite_existing);
  for (const ServiceCase& c : cases) {
    SCOPED_TRACE(c.what);
    Serve(c.routes);
    DiscMetadata got = Record("stale", "stale", "1900", {"stale"});  // cleared first
    LookupDisc(toc_, got, TestService());
    ExpectRecord(got, c.expected);
  }
}

// MapReleaseAnswer on the release answers themselves (what the fuzz target
// feeds it) loads what the lookup loads when the service sends them; answers
// that are not a release load nothing.
TEST_F(LookupServiceTest, AFetchedReleaseAnswerMapsAsTheLookupMapsIt) {
  for (const char* answer : {"release-album.xml", "release-compilation.xml", "release-two-media.xml",
                             "release-by-count.xml", "release-short.xml"}) {
    SCOPED_TRACE(answer);
    Serve(std::string(kDisc) + " 200 discid.xml\n" + kFirst + " 200 " + answer + "\n");
    DiscMetadata looked_up;
    LookupDisc(toc_, looked_up, TestService());
    ASSERT_FALSE(looked_up.titles.empty());
    DiscMetadata mapped = Record("stale", "stale", "1900", {"stale"});
    MapReleaseAnswer(ReadText(dir_ / answer), disc_id_, 3, mapped);
    ExpectRecord(mapped, looked_up);
  }
  for (const std::string& answer :
       {std::string(), ReadText(dir_ / "discid.xml"), std::string("<metadata><release id=\"x\"><title>cut"),
        std::string("<?xml version=\"1.0\"?><error><text>Not Found</text></error>")}) {
    SCOPED_TRACE(answer);
    // No parse error left from before on this thread: for an empty document
    // the library's parser would read the message of that missing error.
    xmlResetLastError();
    DiscMetadata mapped = Record("stale", "stale", "1900", {"stale"});
    MapReleaseAnswer(answer, disc_id_, 3, mapped);
    ExpectRecord(mapped, {});
  }
}

TEST_F(LookupServiceTest, AnEnhancedCdIsFoundByItsAudioSession) {
  // The same three audio tracks, now followed by a data track in a second
  // session: the service knows the disc by its audio session, so the same
  // answers load the same record.
  const auto enhanced = MakeToc({0, 15000, 32000, 45000 + 11400}, 45000 + 11400 + 9000, {4});
  ASSERT_EQ(DiscIdFromToc(enhanced), disc_id_);
  Serve(std::string(kDisc) + " 200 discid.xml\n" + kFirst + " 200 release-album.xml\n");
  DiscMetadata got;
  LookupDisc(enhanced, got, TestService());
  ExpectRecord(got, Record("Sólveig Ærøy", "Ljós & Skuggi", "2001", {"Þú & ég", "Дорога домой (live)", "夜明け"}));
}

TEST_F(LookupServiceTest, RefusedConnectionLoadsNothing) {
  // A port that was free a moment ago: nothing listens there.
  int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(s);
  ::setenv("http_proxy", ("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port))).c_str(), 1);
  DiscMetadata got = Record("stale", "stale", "1900", {"stale"});
  LookupDisc(toc_, got, TestService());
  ExpectRecord(got, {});
}

TEST_F(LookupServiceTest, RequestsIdentifyTheProgramAndAskForWhatIsUsed) {
  Serve(std::string(kDisc) + " 200 discid.xml\n" + kFirst + " 200 release-album.xml\n");
  DiscMetadata got;
  LookupDisc(toc_, got, TestService());
  std::vector<std::string> asked;
  for (const std::string& line : server_->Requests())
    if (line.rfind("done ", 0) != 0) asked.push_back(line);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].substr(0, asked[0].find('\t')),
            "http://mb.loopback.test/ws/2/discid/" + disc_id_);
  const std::string release = asked[1].substr(0, asked[1].find('\t'));
  EXPECT_EQ(release.rfind(std::string("http://mb.loopback.test") + kFirst + "?", 0), 0u) << release;
  for (const char* inc : {"recordings", "artist-credits", "discids"})
    EXPECT_NE(release.find(inc), std::string::npos) << release;
  for (const std::string& line : asked)
    EXPECT_EQ(line.substr(line.find('\t') + 1, 14), "Tonvik/1.13 ( ") << line;
}

TEST_F(LookupServiceTest, BoundHoldsAndLateAnswersAreDropped) {
  // The late answer waits for its gate, which opens only once the bound has
  // passed: it is late whatever the machine's speed.
  struct BoundCase {
    const char* what;
    const char* disc_answer;
    std::chrono::milliseconds bound;
    bool in_time;
  };
  const BoundCase cases[] = {
      {"answer in time", "late 0 discid.xml", std::chrono::seconds(60), true},
      {"answer after the bound", "gate discid.gate discid.xml", std::chrono::milliseconds(300), false},
      {"server never answers", "hang", std::chrono::milliseconds(300), false},
  };
  for (const BoundCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(dir_ / "discid.gate");
    Serve(std::string(kDisc) + " " + c.disc_answer + "\n" + kFirst + " 200 release-album.xml\n");
    BoundedLookup lookup(toc_, TestService());
    const auto result = lookup.Wait(c.bound);
    ASSERT_EQ(result.has_value(), c.in_time);
    if (c.in_time) {
      EXPECT_EQ(result->titles.size(), 3u);
      continue;
    }
    if (std::string(c.disc_answer) == "hang") {
      // A server that never answers is stopped, which ends the lookup thread:
      // no thread of this test outlives it.
      server_.reset();
    } else {
      // The late answer arrives and is complete, yet nothing comes out of it.
      std::ofstream(dir_ / "discid.gate") << "";
    }
    ASSERT_TRUE(testing::WaitUntil([&] { return lookup.Finished(); }));
    if (server_) {
      // Both the disc and its release were answered: the late lookup got all it asked for.
      EXPECT_TRUE(testing::WaitUntil([&] {
        size_t answered = 0;
        for (const std::string& line : server_->Requests()) answered += line.rfind("done ", 0) == 0;
        return answered == 2;
      }));
    }
    EXPECT_FALSE(lookup.Wait(c.bound).has_value());
  }
}

// --- the real service responses of the shared fixtures ---

struct FixtureCase {
  const char* discid_file;  // the disc (its TOC and its release list)
  int tracks;               // 0: the disc's own TOC; else a made-up TOC of this many tracks
  const char* release_file;
  std::string artist, album, year;
  size_t title_count;
  std::vector<std::pair<size_t, std::string>> titles;  // index, title
};

TEST_F(LookupServiceTest, RealServiceResponses) {
  if (!testing::HaveFixtures()) GTEST_SKIP() << "no shared MusicBrainz fixtures beside the repository";
  const FixtureCase cases[] = {
      {"f7agNZK1HMQ2WUWq9bwDymw9aHA-", 0, "fbe4490e-e366-4da2-a37a-82162d2f41a9-recordings+artist-credits",
       "Suzuki Method International", "", "", 14, {{0, "J. A. Hummel / Ecossaise"}}},
      {"xp5tz6rE4OHrBafj0bLfDRMGK48-", 0, "833d4c3a-2635-4b7a-83c4-4e560588f23a-recordings+artist-credits",
       "JT Bruce", "Ruined Subjects", "2011", 21, {{0, "Pollux"}, {2, "Deneb"}}},
      {"xp5tz6rE4OHrBafj0bLfDRMGK48-", 0, "8eb2b179-643d-3507-b64c-29fcc6745156-recordings",
       "Various artists", "Sea of Cowards", "2010", 11, {{0, "Blue Blood Blues"}, {3, "I'm Mad"}}},
      {"pmzhT6ZlFiwSRCdVwV0eqire5_Y-", 0, "2225dd4c-ae9a-403b-8ea0-9e05014c778f-recordings",
       "Various artists", "Empire", "2006", 11, {{0, "Empire"}, {8, "Seek & Destroy"}}},
      {"f7agNZK1HMQ2WUWq9bwDymw9aHA-", 0, "9ce41d09-40e4-4d33-af0c-7fed1e558dba-recordings",
       "Various artists", "Ramasser les morceaux : Le punk pour les nul-le-s", "2013", 0, {}},
      {"pmzhT6ZlFiwSRCdVwV0eqire5_Y-", 15, "fe29e7f0-eb46-44ba-9348-694166f47885-recordings",
       "Various artists", "Urk", "2007", 15, {{0, "Port of Amsterdam"}, {3, "Walter & Connie"}}},
  };
  const fs::path fixtures = testing::FixturesDir();
  for (const FixtureCase& c : cases) {
    SCOPED_TRACE(c.release_file);
    const std::string discid_xml = ReadText(fixtures / "discid" / (std::string(c.discid_file) + ".xml"));
    std::vector<uint8_t> toc;
    if (c.tracks == 0) {
      toc = testing::TocOfDiscDocument(discid_xml);
    } else {
      std::vector<int32_t> starts;
      for (int i = 0; i < c.tracks; ++i) starts.push_back(i * 12000);
      toc = MakeToc(starts, c.tracks * 12000);
    }
    std::smatch first;
    std::regex_search(discid_xml, first, std::regex("<release id=\"([^\"]+)\""));
    Serve("/ws/2/discid/" + DiscIdFromToc(toc) + " 200 " + (fixtures / "discid" / c.discid_file).string() +
          ".xml\n/ws/2/release/" + first[1].str() + " 200 " +
          (fixtures / "release" / c.release_file).string() + ".xml\n");
    DiscMetadata got;
    LookupDisc(toc, got, TestService());
    EXPECT_EQ(got.artist, c.artist);
    EXPECT_EQ(got.album, c.album.empty() ? got.album : c.album);
    EXPECT_EQ(got.year, c.year);
    EXPECT_EQ(got.titles.size(), c.title_count);
    for (const auto& [index, title] : c.titles) {
      ASSERT_LT(index, got.titles.size());
      EXPECT_EQ(got.titles[index], title);
    }
    // The release's own identifier, not the one that was asked for.
    EXPECT_EQ(got.release_id, std::string(c.release_file).substr(0, 36));
  }
}

}  // namespace
}  // namespace tonvik::lookup
