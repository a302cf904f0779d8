#include "install/redist_list.h"

namespace tonvik::install {

namespace {

// The longest line the list may hold; a longer one ends the reading.
constexpr size_t kLongestLine = 259;

}  // namespace

std::map<std::string, std::string> ParseRedistList(std::string_view text) {
  std::map<std::string, std::string> list;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    const bool has_lf = end != std::string_view::npos;
    if (!has_lf) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = has_lf ? end + 1 : end;
    if (has_lf && !line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kLongestLine) break;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;  // also every empty line
    // emplace keeps the first line of a key.
    list.emplace(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
  }
  return list;
}

const char* RedistKey(int kind) {
  switch (kind) {
    case 0: return "MSIUNICODE";  // Windows Installer, Unicode build
    case 1: return "WMFDISTXP";   // WMA codecs, the newest system's package
    default: return nullptr;
  }
}

}  // namespace tonvik::install
