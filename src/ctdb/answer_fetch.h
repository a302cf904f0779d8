// Fetching the database's answer for a disc over HTTP, on a thread of its
// own, within a bound. libcurl reads http_proxy from the environment (the
// tests stand a loopback server in that way).
#pragma once
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "accuraterip/disc_toc.h"
#include "ctdb/answer.h"
#include "platform/background_get.h"
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
  AnswerFetch(const AnswerFetch&) = delete;
  AnswerFetch& operator=(const AnswerFetch&) = delete;

  // The result once the fetch has ended; never blocks.
  std::optional<Answer> Result() const { return get_->Peek(); }
  // Waits for the result until `deadline` at most.
  std::optional<Answer> WaitUntil(Clock::time_point deadline) const { return get_->WaitUntil(deadline); }
  // Waits for the result; the bound makes that wait finite.
  Answer Wait() const { return get_->Wait(); }
  // Ends the transfer soon; the result is Cancelled unless it came first.
  void Cancel() { get_->Cancel(); }

 private:
  std::unique_ptr<BackgroundGet<Answer>> get_;
};

}  // namespace tonvik::ctdb
