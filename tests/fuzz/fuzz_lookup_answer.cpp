// The web service's answer to the release query mapped into the disc record
// (lookup::MapReleaseAnswer), then named as a rip names its folders and
// files: the input's first byte is the disc's track count, the rest the
// answer. The record holds UTF-8 without NULs, a year of at most 4 bytes, an
// artist whenever it holds titles; no name made of it climbs out of the
// output folder (a "." or ".." component) or ends without a file name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "lookup/musicbrainz_lookup.h"
#include "output/naming.h"
#include "platform/text.h"

namespace {

// The disc ID the seed answers carry for their disc.
constexpr char kDiscId[] = "Q0hzd0rK2vVkWc1xVFFqd7a4cHk-";

void Check(bool ok, const char* what, const std::string& detail = "") {
  if (ok) return;
  std::fprintf(stderr, "lookup answer: %s [%s]\n", what, detail.c_str());
  std::abort();
}

void CheckText(const std::string& text, const char* field) {
  Check(text.find('\0') == std::string::npos, "a NUL in", field);
  Check(tonvik::ToUtf8(tonvik::FromUtf8(text)) == text, "not UTF-8:", field);
}

// The components of a name the rip puts below its output folder (an empty
// one, of a value that filters to nothing, is a doubled slash there).
void CheckBelowFolder(const std::u16string& name) {
  const std::string text = tonvik::ToUtf8(name);
  size_t start = 0;
  for (;;) {
    const size_t slash = text.find('/', start);
    const std::string part = text.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (slash == std::string::npos) {
      Check(!part.empty() && part != "." && part != "..", "a bad last component", text);
      break;
    }
    Check(part != "." && part != "..", "a component climbs", text);
    start = slash + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int disc_tracks = 1 + data[0] % 99;
  const std::string answer(reinterpret_cast<const char*>(data + 1), size - 1);
  tonvik::DiscMetadata record;
  tonvik::lookup::MapReleaseAnswer(answer, kDiscId, disc_tracks, record);

  for (const std::string* field : {&record.artist, &record.album, &record.year, &record.release_id})
    CheckText(*field, "a field");
  for (const std::string& title : record.titles) CheckText(title, "a title");
  Check(record.year.size() <= 4, "a year longer than 4 bytes", record.year);
  if (!record.titles.empty()) Check(!record.artist.empty(), "titles without an artist");

  // As the rip names them: the artist and album folders, then each file by
  // the default template, a track number always in it.
  const std::u16string folders = tonvik::ExpandTemplate(record, u"%1\\", 0) + tonvik::ExpandTemplate(record, u"%3\\", 0);
  for (uint32_t i = 0; i < record.titles.size() && i < 99; ++i) {
    const std::u16string file = tonvik::FitComponents(folders + tonvik::ExpandTemplate(record, u"%6 %2", i) + u".flac");
    CheckBelowFolder(file);
  }
  return 0;
}
