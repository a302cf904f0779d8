// Fetching the database's answer for a disc over HTTP, on a thread of its
// own, within a bound. libcurl reads http_proxy from the environment (the
// tests stand a loopback server in that way).
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "accuraterip/disc_toc.h"
#include "ctdb/answer.h"
#include "ctdb/toc.h"

namespace tonvik::ctdb {

struct FetchOptions {
  bool allowed = true;  // false: no request is made and the result is Skipped at once
  std::string host = kDatabaseHost;
  std::chrono::milliseconds bound{10000};  // the whole fetch, connecting included
};

// libcurl's (platform/curl_once.h) and libxml2's process-wide set-up. A
// program calls it before it starts any thread; AnswerFetch calls it again
// (a no-op then) on its owner's thread before its own thread starts.
void InitialiseAnswerFetches();

// One GET of LookupUrl(toc, host), started by the constructor on a thread the
// object owns. Status 200 is read by ReadAnswer, 404 is NotPresent; any other
// status, a failed or cut transfer and the bound passing are Unreachable; a
// body larger than kLargestAnswer is Rejected. The destructor cancels the
// fetch and joins the thread.
class AnswerFetch {
 public:
  using Clock = std::chrono::steady_clock;

  explicit AnswerFetch(const accuraterip::DiscToc& toc, FetchOptions options = {});
  ~AnswerFetch();
  AnswerFetch(const AnswerFetch&) = delete;
  AnswerFetch& operator=(const AnswerFetch&) = delete;

  // The result once the fetch has ended; never blocks.
  std::optional<Answer> Result() const;
  // Waits for the result until `deadline` at most.
  std::optional<Answer> WaitUntil(Clock::time_point deadline) const;
  // Waits for the result; the bound makes that wait finite.
  Answer Wait() const;
  // Ends the transfer soon; the result is Cancelled unless it came first.
  void Cancel();

 private:
  void Run(std::string url, std::chrono::milliseconds bound);
  Answer Transfer(const std::string& url, std::chrono::milliseconds bound);
  void Finish(Answer result);

  void* multi_ = nullptr;  // the CURLM handle the thread polls; Cancel wakes it
  std::atomic<bool> cancelled_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable done_;
  std::optional<Answer> result_;
  std::thread thread_;
};

}  // namespace tonvik::ctdb
