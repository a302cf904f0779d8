#include "ctdb/answer_fetch.h"

#include <curl/curl.h>

#include <algorithm>

#include "core/version.h"
#include "platform/curl_once.h"

namespace tonvik::ctdb {

namespace {

struct Body {
  std::string bytes;
  bool too_large = false;
};

size_t Append(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  if (size * count > kLargestAnswer - body->bytes.size()) {
    body->too_large = true;
    return 0;  // libcurl ends the transfer
  }
  body->bytes.append(data, size * count);
  return size * count;
}

}  // namespace

void InitialiseAnswerFetches() {
  InitialiseCurl();
  InitialiseAnswerParser();
}

AnswerFetch::AnswerFetch(const accuraterip::DiscToc& toc, FetchOptions options) {
  if (!options.allowed) {
    result_ = Answer{LookupStatus::Skipped, {}};
    return;
  }
  InitialiseAnswerFetches();
  multi_ = curl_multi_init();
  if (!multi_) {
    result_ = Answer{LookupStatus::Unreachable, {}};
    return;
  }
  thread_ = std::thread(&AnswerFetch::Run, this, LookupUrl(toc, options.host), options.bound);
}

AnswerFetch::~AnswerFetch() {
  Cancel();
  if (thread_.joinable()) thread_.join();
  if (multi_) curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void AnswerFetch::Cancel() {
  cancelled_ = true;
  if (multi_) curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

std::optional<Answer> AnswerFetch::Result() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return result_;
}

std::optional<Answer> AnswerFetch::WaitUntil(Clock::time_point deadline) const {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait_until(lock, deadline, [this] { return result_.has_value(); });
  return result_;
}

Answer AnswerFetch::Wait() const {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return result_.has_value(); });
  return *result_;
}

void AnswerFetch::Run(std::string url, std::chrono::milliseconds bound) { Finish(Transfer(url, bound)); }

void AnswerFetch::Finish(Answer result) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = std::move(result);
  }
  done_.notify_all();
}

Answer AnswerFetch::Transfer(const std::string& url, std::chrono::milliseconds bound) {
  const Answer unreachable{LookupStatus::Unreachable, {}};
  CURLM* multi = static_cast<CURLM*>(multi_);
  CURL* curl = curl_easy_init();
  if (!curl) return unreachable;
  static const std::string agent = std::string("Tonvik/") + kProductVersion;
  Body body;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");  // gzip or deflate when the server offers it
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(bound.count()));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(bound.count()));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_multi_add_handle(multi, curl);

  // libcurl keeps its own timeout; the deadline here also covers a resolver
  // or a poll that would outlast it.
  const auto deadline = Clock::now() + bound;
  std::optional<CURLcode> outcome;
  while (!cancelled_ && !outcome) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) break;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left))
      if (message->msg == CURLMSG_DONE) outcome = message->data.result;
    const auto now = Clock::now();
    if (outcome || running == 0 || now >= deadline) break;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1;
    curl_multi_poll(multi, nullptr, 0, int(std::min<long long>(wait, 1000)), nullptr);
  }
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_multi_remove_handle(multi, curl);
  curl_easy_cleanup(curl);

  if (cancelled_) return {LookupStatus::Cancelled, {}};
  if (body.too_large) return {LookupStatus::Rejected, {}};
  if (!outcome || *outcome != CURLE_OK) return unreachable;
  if (status == 404) return {LookupStatus::NotPresent, {}};
  if (status != 200) return unreachable;
  return ReadAnswer(body.bytes);
}

}  // namespace tonvik::ctdb
