// Fetching a disc's AccurateRip record over HTTP, on a thread of its own,
// within a bound. libcurl reads http_proxy from the environment (the tests
// stand a loopback server in that way).
#pragma once
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "accuraterip/disc_ids.h"
#include "accuraterip/record.h"
#include "platform/background_get.h"

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
  RecordFetch(const RecordFetch&) = delete;
  RecordFetch& operator=(const RecordFetch&) = delete;

  // The result once the fetch has ended; never blocks.
  std::optional<RecordLookup> Result() const { return get_->Peek(); }
  // Waits for the result until `deadline` at most.
  std::optional<RecordLookup> WaitUntil(Clock::time_point deadline) const { return get_->WaitUntil(deadline); }
  // Waits for the result; the bound makes that wait finite.
  RecordLookup Wait() const { return get_->Wait(); }
  // Ends the transfer soon; the result is Cancelled unless it came first.
  void Cancel() { get_->Cancel(); }

 private:
  std::unique_ptr<BackgroundGet<RecordLookup>> get_;
};

}  // namespace tonvik::accuraterip
