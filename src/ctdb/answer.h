// The database's answer to a lookup (lookup2.php, version 3): a <ctdb>
// document of empty <entry/> elements, each one submitted rip of the disc or
// of a disc with the same audio layout.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accuraterip/disc_toc.h"

namespace tonvik::ctdb {

struct Entry {
  std::string id;
  uint32_t crc = 0;    // crc32: the whole disc at the submitter's alignment
  int confidence = 0;  // how many submissions stand behind it
  int stride = 0;      // 0 when absent; only 5880 can be checked
  std::string toc;     // the entry's own TOC string (HTOA and data tracks may differ from ours)
  accuraterip::DiscToc disc;  // that TOC read
  // One CRC per audio track of the entry's TOC; nullopt when the answer has
  // none or a count that does not match that TOC.
  std::optional<std::vector<uint32_t>> track_crcs;
  bool has_parity = false;  // a repair file exists (not used here)
};

enum class LookupStatus {
  Found,        // at least one entry
  NotPresent,   // 404, or an answer without entries
  Unreachable,  // no answer within the bound, a failed transfer, another status
  Rejected,     // status 200 with a body that is not a sound answer
  Cancelled,    // its owner stopped the fetch
  Skipped,      // the user did not allow the request; none was made
};

struct Answer {
  LookupStatus status = LookupStatus::Unreachable;
  std::vector<Entry> entries;  // with Found only
};

// The largest body read; a larger one is Rejected without being parsed.
inline constexpr size_t kLargestAnswer = 4 << 20;

// Reads a body that came with status 200. libxml2 parses it without network
// access and without substituting entities; a document that declares a DTD
// is Rejected, as is one whose root is not <ctdb>. Entries without a toc are
// passed over. An entry whose crc32 (8 hex digits), confidence (0 to
// 1000000), stride, toc or trackcrcs (hex words) cannot be read Rejects the
// whole answer: the server never writes such a thing, so nothing in it is
// trusted. No entry left is NotPresent.
// libxml2 must have been set up (InitialiseAnswerParser) before threads parse.
Answer ReadAnswer(std::string_view body);

// xmlInitParser, once per process; call it on the owner's thread before
// starting a thread that parses.
void InitialiseAnswerParser();

}  // namespace tonvik::ctdb
