#include "ctdb/verification.h"

namespace tonvik::ctdb {

Verification::Verification(const accuraterip::DiscToc& toc, FetchOptions options)
    : toc_(toc), crcs_(LayoutOf(toc)), fetch_(toc, std::move(options)) {}

DiscVerdict Verification::Finish(Clock::time_point deadline) {
  std::optional<Answer> answer = fetch_.WaitUntil(deadline);
  if (!answer) {
    fetch_.Cancel();
    answer = Answer{LookupStatus::Unreachable, {}};
  }
  return Verify(toc_, *answer, crcs_);
}

}  // namespace tonvik::ctdb
