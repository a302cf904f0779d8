// Hive text: printing what was parsed gives the text back, and a write
// changes exactly one value: every other value reads as before and the new
// one reads back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/hive_text.h"

using tonvik::reg::HiveEntry;
using tonvik::reg::HiveText;

namespace {

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

// Says which property broke before stopping.
void Check(bool ok, const char* what, const std::string& detail = "") {
  if (ok) return;
  std::fprintf(stderr, "hive text: %s %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  HiveText hive = HiveText::Parse(text);
  const std::string printed = hive.Print();
  Check(printed == (text.empty() || text.back() == '\n' ? text : text + "\n"), "printed text differs");

  // Write into the first section the file names, or into a new one.
  std::string section = "HKEY_CURRENT_USER\\Software\\Fuzz";
  for (const auto& e : hive.entries()) {
    if (e.kind == HiveEntry::kSection) {
      section = e.section;
      break;
    }
  }
  std::vector<std::pair<std::string, std::string>> names;
  std::string current;
  for (const auto& e : hive.entries()) {
    if (e.kind == HiveEntry::kSection) current = e.section;
    if (e.kind == HiveEntry::kValue) names.push_back({current, e.name});
  }
  const std::vector<uint8_t> value = {'N', 0, 'e', 0, 'w', 0, 0, 0};
  HiveText written = HiveText::Parse(printed);
  written.SetValue(section, "FuzzNew", 1, value);
  const HiveText again = HiveText::Parse(written.Print());
  const HiveEntry* added = again.FindValue(section, "FuzzNew");
  Check(added && added->type == 1 && added->data == value, "the written value does not read back");
  for (const auto& [s, n] : names) {
    if (SameNoCase(s, section) && SameNoCase(n, "FuzzNew")) continue;
    // Values above the first section belong to no key: nothing finds them.
    const HiveEntry* before = hive.FindValue(s, n);
    const HiveEntry* after = again.FindValue(s, n);
    if (!before && !after) continue;
    Check(before && after && before->type == after->type && before->data == after->data,
          "a write changed another value:", s + " / " + n);
  }
  return 0;
}
