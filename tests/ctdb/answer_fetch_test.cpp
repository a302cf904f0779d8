// The lookup against the loopback server used as http_proxy: each kind of
// answer, the request it makes (or does not make), a server that never
// answers, cancelling, destroying a running fetch, and a whole verification
// whose answer the server serves.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "core/version.h"
#include "ctdb/answer_fetch.h"
#include "ctdb/pcm.h"
#include "ctdb/verification.h"
#include "support/loopback_server.h"

namespace tonvik::ctdb {
namespace {

namespace fs = std::filesystem;
using testing::Toc;

const accuraterip::DiscToc kDisc = Toc("0:16032:32072:47282:62810");

class CtdbFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitialiseAnswerFetches();
    char tmpl[] = "/tmp/tonvik-ctdb-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    fs::copy_file(fs::path(TONVIK_CTDB_DATA) / "found.xml", dir_ / "found.xml");
    Write("empty.xml", "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\"></ctdb>");
    Write("died.txt", "Invalid arguments");
    Write("large.xml", "<ctdb>" + std::string(kLargestAnswer, ' ') + "</ctdb>");
  }
  void TearDown() override {
    server_.reset();
    ::unsetenv("http_proxy");
    fs::remove_all(dir_);
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  void Serve(const std::string& route) {
    server_.reset();
    server_ = std::make_unique<tonvik::testing::LoopbackServer>(dir_, "/lookup2.php " + route + "\n");
    ASSERT_NE(server_->port(), 0) << "the loopback server did not start";
    ::setenv("http_proxy", server_->proxy().c_str(), 1);
  }

  fs::path dir_;
  std::unique_ptr<tonvik::testing::LoopbackServer> server_;
};

struct AnswerCase {
  const char* route;
  LookupStatus expected;
};

TEST_F(CtdbFetchTest, EachAnswer) {
  const AnswerCase cases[] = {
      {"200 found.xml", LookupStatus::Found},
      {"404", LookupStatus::NotPresent},
      {"200 empty.xml", LookupStatus::NotPresent},
      {"200 died.txt", LookupStatus::Rejected},
      {"garbage", LookupStatus::Rejected},
      {"200 large.xml", LookupStatus::Rejected},
      {"503 found.xml", LookupStatus::Unreachable},
      {"500", LookupStatus::Unreachable},
      {"cut found.xml", LookupStatus::Unreachable},
      {"hang", LookupStatus::Unreachable},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.route);
    Serve(c.route);
    // The server that never answers meets a short bound; every other answer
    // has all the time a slow machine needs.
    const bool hangs = std::string(c.route) == "hang";
    AnswerFetch fetch(kDisc, {.bound = hangs ? std::chrono::milliseconds(300)
                                             : std::chrono::milliseconds(tonvik::testing::kFailureBound)});
    const Answer answer = fetch.Wait();
    EXPECT_EQ(answer.status, c.expected);
    if (c.expected == LookupStatus::Found) {
      ASSERT_EQ(answer.entries.size(), 1u);
      EXPECT_EQ(answer.entries[0].crc, 0x5457b143u);
    }
  }
}

TEST_F(CtdbFetchTest, RequestNamesTheTocAndTheProgram) {
  Serve("200 found.xml");
  AnswerFetch fetch(kDisc);
  ASSERT_EQ(fetch.Wait().status, LookupStatus::Found);
  const auto requests = server_->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0],
            "http://db.cuetools.net/lookup2.php?version=3&ctdb=1&fuzzy=1&metadata=none&toc=0:16032:32072:47282:62810"
            "\tTonvik/" + std::string(kProductVersion));
}

TEST_F(CtdbFetchTest, NoRequestWhenNotAllowed) {
  Serve("200 found.xml");
  AnswerFetch fetch(kDisc, {.allowed = false});
  const auto result = fetch.Result();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, LookupStatus::Skipped);
  EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(CtdbFetchTest, ResultOnlyOnceTheAnswerCame) {
  Serve("gate open found.xml");
  AnswerFetch fetch(kDisc, {.bound = std::chrono::minutes(10)});
  ASSERT_TRUE(tonvik::testing::WaitUntil([&] { return !server_->Requests().empty(); }));
  EXPECT_FALSE(fetch.Result());
  EXPECT_FALSE(fetch.WaitUntil(AnswerFetch::Clock::now()));
  Write("open", "");
  const auto result = fetch.WaitUntil(AnswerFetch::Clock::now() + tonvik::testing::kFailureBound);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, LookupStatus::Found);
}

TEST_F(CtdbFetchTest, CancelEndsAFetchTheServerNeverAnswers) {
  Serve("hang");
  AnswerFetch fetch(kDisc, {.bound = std::chrono::minutes(10)});
  ASSERT_TRUE(tonvik::testing::WaitUntil([&] { return !server_->Requests().empty(); }));
  fetch.Cancel();
  EXPECT_EQ(fetch.Wait().status, LookupStatus::Cancelled);
}

TEST_F(CtdbFetchTest, DestroyingARunningFetchEndsIt) {
  Serve("hang");
  auto fetch = std::make_unique<AnswerFetch>(kDisc, FetchOptions{.bound = std::chrono::minutes(10)});
  ASSERT_TRUE(tonvik::testing::WaitUntil([&] { return !server_->Requests().empty(); }));
  fetch.reset();  // joins; the ten minutes are not waited for
  EXPECT_EQ(server_->Requests().size(), 1u);
}

// A whole check: the 136-sector disc, whose answer holds its CRCs as
// computed directly at shift +100 (another pressing) and at 0 with one track
// damaged, is streamed and compared.
TEST_F(CtdbFetchTest, VerificationOfAStreamedDisc) {
  std::ifstream in(std::string(TONVIK_CTDB_DATA) + "/test-case.bin", std::ios::binary);
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  ASSERT_EQ(file.size(), 136u * 2352);
  Write("answer.xml",
        "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\">"
        "<entry id=\"1\" crc32=\"facc2b51\" confidence=\"5\" stride=\"5880\" toc=\"13:68:99:136\" "
        "trackcrcs=\"3ad6c869 7d7425d0 2ebaf707\"/>"
        "<entry id=\"2\" crc32=\"00000000\" confidence=\"2\" stride=\"5880\" toc=\"13:68:99:136\" "
        "trackcrcs=\"05a91e74 00000000 9064e48e\"/></ctdb>");
  Serve("200 answer.xml");
  const accuraterip::DiscToc toc = Toc("13:68:99:136");
  Verification verification(toc);
  for (size_t at = 13 * 2352; at < file.size(); at += 2352) verification.Add(file.data() + at, 2352);
  const DiscVerdict verdict = verification.Finish(Verification::Clock::now() + tonvik::testing::kFailureBound);
  ASSERT_EQ(verdict.status, LookupStatus::Found);
  EXPECT_EQ(DiscLines(verdict),
            (std::vector<std::string>{"CTDB TOCID: " + TocId(toc), "CTDB disc CRC: 56a69e19",
                                      "CTDB disc: Accurately ripped (5/7), another pressing, shift +100 samples"}));
  EXPECT_EQ(TrackLine(verdict, 0), "CTDB: Accurately ripped (7/7), another pressing, shift +100 samples");
  EXPECT_EQ(TrackLine(verdict, 1), "CTDB: Accurately ripped (5/7), another pressing, shift +100 samples");
  EXPECT_EQ(TrackLine(verdict, 2), "CTDB: Accurately ripped (7/7), another pressing, shift +100 samples");
}

TEST_F(CtdbFetchTest, VerificationWithoutAnAnswerByTheDeadline) {
  Serve("hang");
  const accuraterip::DiscToc toc = Toc("0:20:45:60");
  Verification verification(toc, {.bound = std::chrono::minutes(10)});
  ASSERT_TRUE(tonvik::testing::WaitUntil([&] { return !server_->Requests().empty(); }));
  const DiscVerdict verdict = verification.Finish(Verification::Clock::now());
  EXPECT_EQ(verdict.status, LookupStatus::Unreachable);
  EXPECT_EQ(DiscLines(verdict).back(), "CTDB: could not be reached");
}

}  // namespace
}  // namespace tonvik::ctdb
