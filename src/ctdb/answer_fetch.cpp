#include "ctdb/answer_fetch.h"

#include "core/version.h"
#include "platform/curl_once.h"

namespace tonvik::ctdb {

void InitialiseAnswerFetches() {
  InitialiseCurl();
  InitialiseAnswerParser();
}

AnswerFetch::AnswerFetch(const accuraterip::DiscToc& toc, FetchOptions options) {
  if (!options.allowed) {
    get_ = std::make_unique<BackgroundGet<Answer>>(Answer{LookupStatus::Skipped, {}});
    return;
  }
  InitialiseAnswerFetches();
  const HttpGetOptions get{.bound = options.bound,
                           .largest_body = kLargestAnswer,
                           .compressed = true,  // gzip or deflate when the server offers it
                           .user_agent = std::string("Tonvik/") + kProductVersion};
  // Status 200 is read by ReadAnswer, 404 is NotPresent; any other status, a
  // failed or cut transfer and the bound passing are Unreachable; a body
  // larger than kLargestAnswer is Rejected.
  auto interpret = [](const HttpReply& reply) -> Answer {
    switch (reply.ending) {
      case HttpReply::Ending::Cancelled: return {LookupStatus::Cancelled, {}};
      case HttpReply::Ending::TooLarge: return {LookupStatus::Rejected, {}};
      case HttpReply::Ending::Failed: return {LookupStatus::Unreachable, {}};
      case HttpReply::Ending::Complete: break;
    }
    if (reply.status == 404) return {LookupStatus::NotPresent, {}};
    if (reply.status != 200) return {LookupStatus::Unreachable, {}};
    return ReadAnswer(reply.body);
  };
  get_ = std::make_unique<BackgroundGet<Answer>>(LookupUrl(toc, options.host), get, interpret,
                                                 Answer{LookupStatus::Unreachable, {}});
}

}  // namespace tonvik::ctdb
