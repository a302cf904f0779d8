// The CUETools database's answer as the rip job reads it (ctdb::ReadAnswer),
// then judged against a disc: the input is the answer. Whatever it holds,
// reading it neither crashes nor takes more than it may, a Found answer has
// entries whose track CRCs, when present, match their own TOC, and the log
// lines drawn from the verdict are single lines.
#include <libxml/xmlerror.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ctdb/answer.h"
#include "ctdb/disc_crc.h"
#include "ctdb/toc.h"
#include "ctdb/verdict.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "ctdb answer: %s\n", what);
  std::abort();
}

void Quiet(void*, const char*, ...) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tonvik::ctdb::InitialiseAnswerParser();
  xmlSetGenericErrorFunc(nullptr, Quiet);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tonvik::ctdb;
  const Answer answer = ReadAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
  Check(answer.status != LookupStatus::Found || !answer.entries.empty(), "found without entries");
  for (const Entry& e : answer.entries) {
    if (e.track_crcs) {
      int audio = 0;
      for (const auto& t : e.disc.tracks) audio += t.data ? 0 : 1;
      Check(int(e.track_crcs->size()) == audio, "track CRCs that do not match the entry's TOC");
    }
  }
  // A short disc of silence, summed once, judged by the answer: the
  // verdict's lines.
  static const auto toc = *ParseTocString("0:100:250");
  static const DiscCrc crcs = [] {
    DiscCrc sums(LayoutOf(toc));
    const std::string silence(250 * 2352, '\0');
    sums.Add(reinterpret_cast<const uint8_t*>(silence.data()), silence.size());
    return sums;
  }();
  const DiscVerdict verdict = Verify(toc, answer, crcs);
  for (const std::string& line : DiscLines(verdict)) Check(line.find('\n') == std::string::npos, "a line break");
  for (int t = 0; t < 2; ++t)
    if (const auto line = TrackLine(verdict, t)) Check(line->find('\n') == std::string::npos, "a line break");
  return 0;
}
