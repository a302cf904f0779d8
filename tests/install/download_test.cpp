// Downloads from the maker's host, with the loopback server standing in
// through http_proxy.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "install/download.h"
#include "install/setup_env.h"
#include "support/loopback_server.h"

namespace tonvik::install {
namespace {

using test::ScopedEnv;

// Bytes of every value, so a chunk out of place shows.
std::string Pattern(size_t size) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = char((i * 7 + i / 251) & 0xFF);
  return s;
}

class Download : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteFile(temp_.root() / "www/file.bin", body_);
    test::WriteFile(temp_.root() / "www/huge.bin", Pattern(kLargestInMemory + 1));
    server_ = std::make_unique<tonvik::testing::LoopbackServer>(temp_.root() / "www",
                                                                "/file.bin 200 file.bin\n"
                                                                "/huge.bin 200 huge.bin\n"
                                                                "/missing.bin 404\n"
                                                                "/cut.bin cut file.bin\n"
                                                                "/slow.bin slow 4096 20 file.bin\n");
    ASSERT_NE(server_->port(), 0);
    proxy_.emplace("http_proxy", server_->proxy());
  }
  std::string Url(const char* path) const { return std::string(kMakerHost) + path; }

  tonvik::testing::TempHives temp_;
  const std::string body_ = Pattern(300000);
  std::unique_ptr<tonvik::testing::LoopbackServer> server_;
  ScopedEnv no_proxy_{"no_proxy", std::nullopt};
  ScopedEnv no_proxy_upper_{"NO_PROXY", std::nullopt};
  std::optional<ScopedEnv> proxy_;
};

TEST_F(Download, IntoMemory) {
  struct Case {
    const char* path;
    DownloadResult result;
  } cases[] = {
      {"/file.bin", DownloadResult::Ok},
      {"/missing.bin", DownloadResult::Failed},  // 404
      {"/cut.bin", DownloadResult::Failed},      // shorter than announced
      {"/huge.bin", DownloadResult::Failed},     // more than a list can be
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string body = "old";
    EXPECT_EQ(DownloadToMemory(Url(c.path), &body), c.result);
    EXPECT_EQ(body, c.result == DownloadResult::Ok ? body_ : "");
  }
  // The proxy took each request for the maker's host.
  const auto requests = server_->Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].substr(0, requests[0].find('\t')), Url("/file.bin"));
}

TEST_F(Download, IntoAFileWithProgress) {
  struct Case {
    const char* path;
    DownloadResult result;
  } cases[] = {
      {"/file.bin", DownloadResult::Ok},
      {"/slow.bin", DownloadResult::Ok},
      {"/missing.bin", DownloadResult::Failed},
      {"/cut.bin", DownloadResult::Failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const test::fs::path file = temp_.root() / "download";
    const int fd = ::open(file.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    std::vector<std::pair<uint64_t, uint64_t>> calls;
    const DownloadResult result = DownloadToFile(Url(c.path), fd, [&](uint64_t progress, uint64_t maximum) {
      calls.emplace_back(progress, maximum);
      return true;
    });
    ::close(fd);
    EXPECT_EQ(result, c.result);
    if (c.result == DownloadResult::Ok) {
      EXPECT_EQ(tonvik::testing::ReadText(file), body_);
      ASSERT_FALSE(calls.empty());
      EXPECT_EQ(calls.back(), std::make_pair(uint64_t(body_.size()), uint64_t(body_.size())));
      for (size_t i = 1; i < calls.size(); ++i) EXPECT_GE(calls[i].first, calls[i - 1].first);
    }
  }
}

TEST_F(Download, NoServerFails) {
  ScopedEnv nowhere("http_proxy", "http://127.0.0.1:1");
  std::string body;
  EXPECT_EQ(DownloadToMemory(Url("/file.bin"), &body), DownloadResult::Failed);
  EXPECT_EQ(DownloadToFile(Url("/file.bin"), -1, nullptr), DownloadResult::Failed);
}

}  // namespace
}  // namespace tonvik::install
