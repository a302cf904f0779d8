// Fetching a disc's AccurateRip record over HTTP, on a thread of its own,
// within a bound. libcurl reads http_proxy from the environment (the tests
// stand a loopback server in that way).
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "accuraterip/disc_ids.h"
#include "accuraterip/record.h"

namespace tonvik::accuraterip {

struct FetchOptions {
  bool allowed = true;  // false: no request is made and the result is Skipped at once
  std::string host = kDatabaseHost;
  std::chrono::milliseconds bound{10000};  // the whole fetch, connecting included
};

// libcurl's process-wide set-up (platform/curl_once.h). vandral calls it
// before any thread; RecordFetch calls it again (a no-op then) on its owner's
// thread before its own thread starts.
void InitialiseRecordFetches();

// One GET of the disc's record, started by the constructor on a thread the
// object owns. Status 200 is read by ReadRecord, 404 is NotPresent, any other
// status, a failed or cut transfer and the bound passing are Unreachable; a
// body larger than any record could be is Rejected. The destructor cancels
// the fetch and joins the thread.
class RecordFetch {
 public:
  using Clock = std::chrono::steady_clock;

  explicit RecordFetch(const DiscIds& ids, FetchOptions options = {});
  ~RecordFetch();
  RecordFetch(const RecordFetch&) = delete;
  RecordFetch& operator=(const RecordFetch&) = delete;

  // The result once the fetch has ended; never blocks.
  std::optional<RecordLookup> Result() const;
  // Waits for the result until `deadline` at most.
  std::optional<RecordLookup> WaitUntil(Clock::time_point deadline) const;
  // Waits for the result; the bound makes that wait finite.
  RecordLookup Wait() const;
  // Ends the transfer soon; the result is Cancelled unless it came first.
  void Cancel();

 private:
  void Run(std::string url, std::chrono::milliseconds bound);
  RecordLookup Transfer(const std::string& url, std::chrono::milliseconds bound);
  void Finish(RecordLookup result);

  DiscIds ids_;
  void* multi_ = nullptr;  // the CURLM handle the thread polls; Cancel wakes it
  std::atomic<bool> cancelled_{false};
  mutable std::mutex mutex_;
  mutable std::condition_variable done_;
  std::optional<RecordLookup> result_;
  std::thread thread_;
};

}  // namespace tonvik::accuraterip
