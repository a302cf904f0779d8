// One HTTP GET on a thread of its own, within a bound, that its owner can
// cancel and wait for: the rip's database lookups (the AccurateRip record,
// the CUETools answer) are each one of these. libcurl reads http_proxy from
// the environment (the tests stand a loopback server in that way) and must
// have been set up (platform/curl_once.h) before the first one starts.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tonvik {

// What came back, as far as it came.
struct HttpReply {
  enum class Ending {
    Complete,   // the transfer ended as the server meant it
    Failed,     // no connection, a cut transfer, or the bound passed
    TooLarge,   // the body grew past the largest allowed; the transfer was ended
    Cancelled,  // the owner stopped it
  };
  Ending ending = Ending::Failed;
  long status = 0;  // the HTTP status, 0 without one
  std::string body;
  std::string content_type;
};

struct HttpGetOptions {
  std::chrono::milliseconds bound{10000};  // the whole transfer, connecting included
  size_t largest_body = 1 << 20;
  bool compressed = false;  // offer gzip and deflate
  std::string user_agent;
};

// The transfer itself, done on the calling thread; Cancel (from any thread)
// ends it soon.
class HttpTransfer {
 public:
  HttpTransfer();
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  bool ok() const { return multi_ != nullptr; }
  HttpReply Get(const std::string& url, const HttpGetOptions& options);
  void Cancel();

 private:
  void* multi_ = nullptr;  // the CURLM handle Get polls; Cancel wakes it
  std::atomic<bool> cancelled_{false};
};

// How a database lookup reads its reply: status 200 is read by `read`, 404
// is NotPresent; any other status, a failed or cut transfer and the bound
// passing are Unreachable; a body past the largest allowed is Rejected.
// `Result` is {status, payload} with a status enum that has those names and
// Cancelled.
template <typename Result, typename Read>
Result ReadLookupReply(const HttpReply& reply, Read&& read) {
  using Status = decltype(Result{}.status);
  switch (reply.ending) {
    case HttpReply::Ending::Cancelled: return {Status::Cancelled, {}};
    case HttpReply::Ending::TooLarge: return {Status::Rejected, {}};
    case HttpReply::Ending::Failed: return {Status::Unreachable, {}};
    case HttpReply::Ending::Complete: break;
  }
  if (reply.status == 404) return {Status::NotPresent, {}};
  if (reply.status != 200) return {Status::Unreachable, {}};
  return read(reply);
}

// A GET started by the constructor on a thread the object owns; `interpret`
// turns the reply into the owner's result on that thread. The destructor
// cancels the transfer and joins the thread.
template <typename Result>
class BackgroundGet {
 public:
  using Clock = std::chrono::steady_clock;

  BackgroundGet(std::string url, HttpGetOptions options, std::function<Result(const HttpReply&)> interpret,
                Result without_transfer) {
    if (!transfer_.ok()) {
      result_ = std::move(without_transfer);
      return;
    }
    thread_ = std::thread([this, url = std::move(url), options, interpret = std::move(interpret)] {
      Result result = interpret(transfer_.Get(url, options));
      {
        std::lock_guard<std::mutex> lock(mutex_);
        result_ = std::move(result);
      }
      done_.notify_all();
    });
  }
  // No request at all: the result is there at once.
  explicit BackgroundGet(Result at_once) : result_(std::move(at_once)) {}
  ~BackgroundGet() {
    Cancel();
    if (thread_.joinable()) thread_.join();
  }
  BackgroundGet(const BackgroundGet&) = delete;
  BackgroundGet& operator=(const BackgroundGet&) = delete;

  // The result once the fetch has ended; never blocks.
  std::optional<Result> Peek() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return result_;
  }
  // Waits for the result until `deadline` at most.
  std::optional<Result> WaitUntil(Clock::time_point deadline) const {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait_until(lock, deadline, [this] { return result_.has_value(); });
    return result_;
  }
  // Waits for the result; the bound makes that wait finite.
  Result Wait() const {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return result_.has_value(); });
    return *result_;
  }
  // Ends the transfer soon; what `interpret` makes of a cancelled reply
  // is the result unless the reply came first.
  void Cancel() { transfer_.Cancel(); }

 private:
  HttpTransfer transfer_;
  mutable std::mutex mutex_;
  mutable std::condition_variable done_;
  std::optional<Result> result_;
  std::thread thread_;  // last: started once everything above exists
};

}  // namespace tonvik
