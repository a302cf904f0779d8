// The record fetch against the loopback server used as http_proxy: each kind
// of answer, the request it makes (or does not make), a server that never
// answers, cancelling, and the result read before and after it is there.
#include <gtest/gtest.h>

#include <fstream>

#include "accuraterip/record_bytes.h"
#include "accuraterip/record_fetch.h"
#include "core/version.h"
#include "support/loopback_server.h"

namespace tonvik::accuraterip {
namespace {

namespace fs = std::filesystem;
using testing::Chunk;

const DiscIds kDisc{2, 0x0000f21c, 0x00027ef8, 0x05021002};
const std::string kPath = "/accuraterip/" + RecordPath(kDisc);

std::string Record() {
  return Chunk(kDisc, {{12, 0x284fc705, 0x3b97f8a4}, {20, 0x9cc1f32e, 0xdc5500de}}) +
         Chunk(kDisc, {{7, 0xdc77f9ab, 0}, {7, 0xdd97d2c3, 0}});
}

class RecordFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tonvik-accuraterip-XXXXXX";
    dir_ = ::mkdtemp(tmpl);
    Write("record.bin", Record());
    Write("other.bin", Chunk({2, 1, 2, 3}, {{1, 1, 1}, {1, 1, 1}}));
    Write("page.html", "<html><head><title>404 Not Found</title></head><body>Not here</body></html>");
    Write("empty", "");
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
    server_ = std::make_unique<tonvik::testing::LoopbackServer>(dir_, kPath + " " + route + "\n");
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

TEST_F(RecordFetchTest, EachAnswer) {
  const AnswerCase cases[] = {
      {"200 record.bin", LookupStatus::Found},
      {"404", LookupStatus::NotPresent},
      {"404 page.html", LookupStatus::NotPresent},
      {"200 page.html", LookupStatus::NotPresent},
      {"200 empty", LookupStatus::NotPresent},
      {"200 other.bin", LookupStatus::Rejected},
      {"garbage", LookupStatus::Rejected},
      {"503 record.bin", LookupStatus::Unreachable},
      {"cut record.bin", LookupStatus::Unreachable},
      {"hang", LookupStatus::Unreachable},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.route);
    Serve(c.route);
    // A short bound, so that the server that never answers ends the fetch soon.
    RecordFetch fetch(kDisc, {.bound = std::chrono::milliseconds(300)});
    const RecordLookup result = fetch.Wait();
    EXPECT_EQ(result.status, c.expected);
    if (c.expected == LookupStatus::Found) {
      ASSERT_EQ(result.pressings.size(), 2u);
      EXPECT_EQ(result.pressings[1].tracks.at(0).crc, 0xdc77f9abu);
    }
  }
}

TEST_F(RecordFetchTest, RequestNamesTheRecordAndTheProgram) {
  Serve("200 record.bin");
  RecordFetch fetch(kDisc);
  ASSERT_EQ(fetch.Wait().status, LookupStatus::Found);
  const auto requests = server_->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0], "http://www.accuraterip.com/accuraterip/c/1/2/dBAR-002-0000f21c-00027ef8-05021002.bin"
                         "\tTonvik/" + std::string(kProductVersion));
}

TEST_F(RecordFetchTest, NoRequestWhenNotAllowed) {
  Serve("200 record.bin");
  RecordFetch fetch(kDisc, {.allowed = false});
  const auto result = fetch.Result();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, LookupStatus::Skipped);
  EXPECT_TRUE(server_->Requests().empty());
}

TEST_F(RecordFetchTest, ResultOnlyOnceTheAnswerCame) {
  Serve("gate open record.bin");
  RecordFetch fetch(kDisc, {.bound = std::chrono::minutes(10)});
  ASSERT_TRUE(tonvik::testing::WaitUntil([&] { return !server_->Requests().empty(); }));
  EXPECT_FALSE(fetch.Result());
  EXPECT_FALSE(fetch.WaitUntil(RecordFetch::Clock::now()));
  Write("open", "");
  const auto result = fetch.WaitUntil(RecordFetch::Clock::now() + tonvik::testing::kFailureBound);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, LookupStatus::Found);
  EXPECT_EQ(fetch.Result()->status, LookupStatus::Found);
}

TEST_F(RecordFetchTest, CancelEndsAFetchTheServerNeverAnswers) {
  Serve("hang");
  RecordFetch fetch(kDisc, {.bound = std::chrono::minutes(10)});
  ASSERT_TRUE(tonvik::testing::WaitUntil([&] { return !server_->Requests().empty(); }));
  fetch.Cancel();
  EXPECT_EQ(fetch.Wait().status, LookupStatus::Cancelled);
}

TEST_F(RecordFetchTest, DestroyingARunningFetchEndsIt) {
  Serve("hang");
  auto fetch = std::make_unique<RecordFetch>(kDisc, FetchOptions{.bound = std::chrono::minutes(10)});
  ASSERT_TRUE(tonvik::testing::WaitUntil([&] { return !server_->Requests().empty(); }));
  fetch.reset();  // joins; the ten minutes are not waited for
  EXPECT_EQ(server_->Requests().size(), 1u);
}

}  // namespace
}  // namespace tonvik::accuraterip
