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
  // Status 200 is read by ReadRecord, 404 is NotPresent; any other status,
  // a failed or cut transfer and the bound passing are Unreachable; a body
  // larger than any record could be is Rejected.
  auto interpret = [ids](const HttpReply& reply) -> RecordLookup {
    switch (reply.ending) {
      case HttpReply::Ending::Cancelled: return {LookupStatus::Cancelled, {}};
      case HttpReply::Ending::TooLarge: return {LookupStatus::Rejected, {}};
      case HttpReply::Ending::Failed: return {LookupStatus::Unreachable, {}};
      case HttpReply::Ending::Complete: break;
    }
    if (reply.status == 404) return {LookupStatus::NotPresent, {}};
    if (reply.status != 200) return {LookupStatus::Unreachable, {}};
    return ReadRecord(reply.body, reply.content_type, ids);
  };
  get_ = std::make_unique<BackgroundGet<RecordLookup>>(RecordUrl(ids, options.host), get, interpret,
                                                       RecordLookup{LookupStatus::Unreachable, {}});
}

}  // namespace tonvik::accuraterip
