// One rip's check against the CUETools database (CTDB): the lookup runs on
// its own thread while the audio streams through the CRCs, and the verdict is
// drawn at the end. Logic only, no Qt.
//
// How a rip job uses it:
//   1. At the job's start, with the disc's TOC (accuraterip::DiscToc, the
//      READ TOC the disc check kept) and the user's leave to ask the network:
//        ctdb::Verification ctdb(toc, {.allowed = ...});
//      (the program calls ctdb::InitialiseAnswerFetches() once before it
//      starts any thread).
//   2. Every audio track's offset-corrected PCM, in disc order from the
//      first audio track's INDEX 01 to the end of the audio, the way the
//      AccurateRip sums get it: ctdb.Add(data, size) in chunks of any size.
//      A rip of some tracks only feeds an incomplete stream; it is reported
//      as not verified rather than as a mismatch.
//   3. At the end: auto verdict = ctdb.Finish(deadline), where `deadline` is
//      the job's start plus the bound (a cancelled job calls Cancel first and
//      does not wait). Then DiscLines(verdict) go into the log's disc part and
//      TrackLine(verdict, t) into track t's block.
// The destructor cancels a fetch still running and joins its thread.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "accuraterip/disc_toc.h"
#include "ctdb/answer_fetch.h"
#include "ctdb/disc_crc.h"
#include "ctdb/verdict.h"

namespace tonvik::ctdb {

class Verification {
 public:
  using Clock = AnswerFetch::Clock;

  explicit Verification(const accuraterip::DiscToc& toc, FetchOptions options = {});

  void Add(const uint8_t* data, size_t size) { crcs_.Add(data, size); }
  // Stops the lookup; Finish then reports it Cancelled unless it had come.
  void Cancel() { fetch_.Cancel(); }
  // Waits for the answer until `deadline` at most (an answer not there by
  // then is Unreachable) and compares it with what was fed.
  DiscVerdict Finish(Clock::time_point deadline);

  const DiscCrc& crcs() const { return crcs_; }
  // Takes the CRCs back to what they were: a track read again is fed again
  // from the state before its first read.
  void RestoreCrcs(const DiscCrc& earlier) { crcs_ = earlier; }

 private:
  accuraterip::DiscToc toc_;
  DiscCrc crcs_;
  AnswerFetch fetch_;
};

}  // namespace tonvik::ctdb
