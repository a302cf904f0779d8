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
  // A body larger than kLargestAnswer is Rejected.
  auto interpret = [](const HttpReply& reply) {
    return ReadLookupReply<Answer>(reply, [](const HttpReply& ok) { return ReadAnswer(ok.body); });
  };
  get_ = std::make_unique<BackgroundGet<Answer>>(LookupUrl(toc, options.host), get, interpret,
                                                 Answer{LookupStatus::Unreachable, {}});
}

}  // namespace tonvik::ctdb
