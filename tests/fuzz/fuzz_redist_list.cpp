// The redistributables list as the maker's host (or anyone between) may send
// it: every entry found is one whole line of the input, split at its first
// '=', no longer than a line may be, and the first of its key.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "install/redist_list.h"

namespace {

void Check(bool ok, const char* what, const std::string& detail = "") {
  if (ok) return;
  std::fprintf(stderr, "redist list: %s %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto list = tonvik::install::ParseRedistList(text);
  for (const auto& [key, address] : list) {
    const std::string line = key + "=" + address;
    Check(key.find('=') == std::string::npos, "a key holds '='", key);
    Check(line.find('\n') == std::string::npos, "an entry spans lines", line);
    Check(line.size() <= 259, "an entry longer than a line may be", line);
    // The first line of the input that starts with the key and '=' is this one.
    size_t at = 0;
    bool found = false;
    while (at <= text.size() && !found) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string candidate = text.substr(at, end - at);
      if (end < text.size() && !candidate.empty() && candidate.back() == '\r') candidate.pop_back();
      if (candidate.compare(0, key.size() + 1, key + "=") == 0) {
        Check(candidate == line, "not the first line of its key", line);
        found = true;
      }
      at = end + 1;
    }
    Check(found, "an entry that is no line of the input", line);
  }
  return 0;
}
