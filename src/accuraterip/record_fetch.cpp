#include "accuraterip/record_fetch.h"

#include "core/version.h"
#include "platform/curl_once.h"

namespace tonvik::accuraterip {

namespace {

// The largest record: 99 tracks in far more pressings than any disc has.
constexpr size_t kLargestRecord = 1 << 20;

}  // namespace

void InitialiseRecordFetches() { InitialiseCurl(); }

RecordFetch::RecordFetch(const DiscIds& ids, FetchOptions options) {
  if (!options.allowed) {
    get_ = std::make_unique<BackgroundGet<RecordLookup>>(RecordLookup{LookupStatus::Skipped, {}});
    return;
  }
  InitialiseRecordFetches();
  const HttpGetOptions get{.bound = options.bound,
                           .largest_body = kLargestRecord,
                           .user_agent = std::string("Tonvik/") + kProductVersion};
  // A body larger than any record could be is Rejected.
  auto interpret = [ids](const HttpReply& reply) {
    return ReadLookupReply<RecordLookup>(
        reply, [&](const HttpReply& ok) { return ReadRecord(ok.body, ok.content_type, ids); });
  };
  get_ = std::make_unique<BackgroundGet<RecordLookup>>(RecordUrl(ids, options.host), get, interpret,
                                                       RecordLookup{LookupStatus::Unreachable, {}});
}

}  // namespace tonvik::accuraterip
