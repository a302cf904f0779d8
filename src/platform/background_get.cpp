#include "platform/background_get.h"

#include <curl/curl.h>

#include <algorithm>

namespace tonvik {

namespace {

struct Body {
  std::string bytes;
  size_t largest = 0;
  bool too_large = false;
};

size_t Append(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  if (size * count > body->largest - body->bytes.size()) {
    body->too_large = true;
    return 0;  // libcurl ends the transfer
  }
  body->bytes.append(data, size * count);
  return size * count;
}

}  // namespace

HttpTransfer::HttpTransfer() : multi_(curl_multi_init()) {}

HttpTransfer::~HttpTransfer() {
  if (multi_) curl_multi_cleanup(static_cast<CURLM*>(multi_));
}

void HttpTransfer::Cancel() {
  cancelled_ = true;
  if (multi_) curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

HttpReply HttpTransfer::Get(const std::string& url, const HttpGetOptions& options) {
  using Clock = std::chrono::steady_clock;
  HttpReply reply;
  CURLM* multi = static_cast<CURLM*>(multi_);
  CURL* curl = curl_easy_init();
  if (!curl) return reply;
  Body body;
  body.largest = options.largest_body;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_USERAGENT, options.user_agent.c_str());
  if (options.compressed) curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(options.bound.count()));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(options.bound.count()));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_multi_add_handle(multi, curl);

  // libcurl keeps its own timeout; the deadline here also covers a resolver
  // or a poll that would outlast it.
  const auto deadline = Clock::now() + options.bound;
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
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
  const char* type = nullptr;
  curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type);
  reply.content_type = type ? type : "";
  curl_multi_remove_handle(multi, curl);
  curl_easy_cleanup(curl);

  if (cancelled_)
    reply.ending = HttpReply::Ending::Cancelled;
  else if (body.too_large)
    reply.ending = HttpReply::Ending::TooLarge;
  else if (outcome && *outcome == CURLE_OK)
    reply.ending = HttpReply::Ending::Complete;
  reply.body = std::move(body.bytes);
  return reply;
}

}  // namespace tonvik
