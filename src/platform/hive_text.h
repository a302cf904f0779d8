// Parsing and printing of the regedit export text that holds one hive.
// Internal to the registry layer; exposed for its tests.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tonvik::reg {

// One logical entry of a hive file: a section header, a value (possibly spread
// over several physical lines with '\' continuations), or anything else, which
// is kept as it was.
struct HiveEntry {
  enum Kind { kOther, kSection, kValue } kind = kOther;
  std::string raw;      // the physical lines, joined with '\n', without the final newline
  std::string section;  // kSection: the full key path, e.g. HKEY_CURRENT_USER\Software\X
  std::string name;     // kValue: the value name (UTF-8), "" for the default value '@'
  uint32_t type = 0;    // kValue
  std::vector<uint8_t> data;  // kValue
};

class HiveText {
 public:
  static HiveText Parse(std::string_view text);
  std::string Print() const;

  // Case-insensitive, as registry key paths and value names are.
  bool HasSection(std::string_view path) const;
  void AddSection(std::string_view path);
  const HiveEntry* FindValue(std::string_view section, std::string_view name) const;
  // Replaces the value's lines in place, or appends it at the end of its section
  // (the section is added when missing).
  void SetValue(std::string_view section, std::string_view name, uint32_t type,
                std::vector<uint8_t> data);

  const std::vector<HiveEntry>& entries() const { return entries_; }

 private:
  std::vector<HiveEntry> entries_;
};

// A key path or value name in the form in which HasSection and FindValue
// compare them: ASCII letters in lower case, everything else as it is.
std::string FoldCase(std::string_view s);

// The text form of one value line: "Name"=...
std::string FormatValueLine(std::string_view name, uint32_t type, const std::vector<uint8_t>& data);

}  // namespace tonvik::reg
