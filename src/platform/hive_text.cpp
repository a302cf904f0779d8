#include "platform/hive_text.h"

#include <cstdio>

#include "platform/registry.h"
#include "platform/text.h"

namespace tonvik::reg {
namespace {

char Fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string starting at s[0] == '"'; handles \\ and \". Returns the
// unescaped text and advances pos past the closing quote.
std::optional<std::string> ReadQuoted(std::string_view s, size_t& pos) {
  if (pos >= s.size() || s[pos] != '"') return std::nullopt;
  std::string out;
  for (size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
      out += s[++i];
    } else if (s[i] == '"') {
      pos = i + 1;
      return out;
    } else {
      out += s[i];
    }
  }
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> ParseHexList(std::string_view s) {
  std::vector<uint8_t> out;
  s = Trim(s);
  if (s.empty()) return out;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i >= s.size()) break;
    int hi = i < s.size() ? HexDigit(s[i]) : -1;
    int lo = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    i += 2;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i < s.size()) {
      if (s[i] != ',') return std::nullopt;
      ++i;
    }
  }
  return out;
}

std::vector<uint8_t> Utf16Bytes(std::u16string_view text, bool terminator) {
  std::vector<uint8_t> out;
  out.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminator) {
    out.push_back(0);
    out.push_back(0);
  }
  return out;
}

// A value line: "Name"=<data> or @=<data>. Fails on anything else.
bool ParseValue(std::string_view logical, HiveEntry& e) {
  size_t pos = 0;
  if (logical.empty()) return false;
  if (logical[0] == '@') {
    e.name.clear();
    pos = 1;
  } else {
    auto name = ReadQuoted(logical, pos);
    if (!name) return false;
    e.name = *name;
  }
  if (pos >= logical.size() || logical[pos] != '=') return false;
  std::string_view rest = Trim(logical.substr(pos + 1));
  if (!rest.empty() && rest[0] == '"') {
    size_t p = 0;
    auto text = ReadQuoted(rest, p);
    if (!text || !Trim(rest.substr(p)).empty()) return false;
    e.type = kSz;
    e.data = Utf16Bytes(FromUtf8(*text), true);
    return true;
  }
  if (rest.substr(0, 6) == "dword:") {
    std::string_view hex = rest.substr(6);
    if (hex.size() != 8) return false;
    uint32_t v = 0;
    for (char c : hex) {
      int d = HexDigit(c);
      if (d < 0) return false;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    e.type = kDword;
    e.data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
              static_cast<uint8_t>(v >> 24)};
    return true;
  }
  uint32_t type = kBinary;
  std::string_view list;
  if (rest.substr(0, 4) == "hex:") {
    list = rest.substr(4);
  } else if (rest.substr(0, 4) == "hex(") {
    size_t close = rest.find("):");
    if (close == std::string_view::npos || close == 4) return false;
    uint32_t t = 0;
    for (size_t i = 4; i < close; ++i) {
      int d = HexDigit(rest[i]);
      if (d < 0) return false;
      t = t * 16 + static_cast<uint32_t>(d);
    }
    type = t;
    list = rest.substr(close + 2);
  } else {
    return false;
  }
  auto bytes = ParseHexList(list);
  if (!bytes) return false;
  e.type = type;
  e.data = std::move(*bytes);
  return true;
}

std::string Escape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

// A REG_SZ that round-trips through the quoted form: even length, terminated,
// no other zero unit, no line breaks.
std::optional<std::u16string> PlainString(const std::vector<uint8_t>& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  std::u16string text;
  for (size_t i = 0; i + 2 < data.size(); i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0 || c == '\n' || c == '\r') return std::nullopt;
    text += c;
  }
  // Unpaired surrogates would not survive UTF-8: keep their exact bytes instead.
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return std::nullopt;
    }
  }
  if (data[data.size() - 2] != 0 || data[data.size() - 1] != 0) return std::nullopt;
  return text;
}

}  // namespace

std::string FormatValueLine(std::string_view name, uint32_t type, const std::vector<uint8_t>& data) {
  std::string line = name.empty() ? std::string("@") : "\"" + Escape(name) + "\"";
  line += '=';
  if (type == kSz) {
    if (auto text = PlainString(data)) return line + "\"" + Escape(ToUtf8(*text)) + "\"";
  }
  if (type == kDword && data.size() == 4) {
    char buf[16];
    uint32_t v = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
    std::snprintf(buf, sizeof buf, "dword:%08x", v);
    return line + buf;
  }
  if (type == kBinary) {
    line += "hex:";
  } else {
    char buf[16];
    std::snprintf(buf, sizeof buf, "hex(%x):", type);
    line += buf;
  }
  for (size_t i = 0; i < data.size(); ++i) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02x", data[i]);
    if (i) line += ',';
    line += buf;
  }
  return line;
}

namespace {

// A line that can carry on a hex value: hex pairs and commas, perhaps ending
// with '\' itself. Nothing else joins the line before it, so a kept line
// whose continuation was left open never takes in a value, a section or an
// empty line that a write puts after it.
bool IsHexContinuation(std::string_view line) {
  const std::string_view t = Trim(line);
  if (t.empty()) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    const char c = t[i];
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex && c != ',' && c != ' ' && c != '\t' && !(c == '\\' && i + 1 == t.size())) return false;
  }
  return true;
}

}  // namespace

HiveText HiveText::Parse(std::string_view text) {
  HiveText hive;
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) nl = text.size();
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  for (size_t i = 0; i < lines.size(); ++i) {
    HiveEntry e;
    std::string_view t = Trim(lines[i]);
    e.raw = std::string(lines[i]);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
      // "[-KEY]" (a deletion in regedit's syntax) matches no key but still ends
      // the section before it.
      e.kind = HiveEntry::kSection;
      e.section = std::string(t.substr(1, t.size() - 2));
    } else if (!t.empty() && (t.front() == '"' || t.front() == '@')) {
      // Gather '\' continuation lines of hex values.
      std::string logical(t);
      size_t j = i;
      while (!logical.empty() && logical.back() == '\\' && j + 1 < lines.size() &&
             logical.find("=hex") != std::string::npos && IsHexContinuation(lines[j + 1])) {
        logical.pop_back();
        ++j;
        logical += std::string(Trim(lines[j]));
        e.raw += '\n';
        e.raw += std::string(lines[j]);
      }
      if (ParseValue(logical, e)) {
        e.kind = HiveEntry::kValue;
        i = j;
      } else {
        e = HiveEntry{};
        e.raw = std::string(lines[i]);
      }
    }
    hive.entries_.push_back(std::move(e));
  }
  return hive;
}

std::string HiveText::Print() const {
  std::string out;
  for (const auto& e : entries_) {
    out += e.raw;
    out += '\n';
  }
  return out;
}

std::string FoldCase(std::string_view s) {
  std::string folded(s);
  for (char& c : folded) c = Fold(c);
  return folded;
}

bool HiveText::HasSection(std::string_view path) const {
  for (const auto& e : entries_)
    if (e.kind == HiveEntry::kSection && EqualNoCase(e.section, path)) return true;
  return false;
}

void HiveText::AddSection(std::string_view path) {
  if (HasSection(path)) return;
  if (entries_.empty()) {
    HiveEntry header;
    header.raw = "Windows Registry Editor Version 5.00";
    entries_.push_back(header);
  }
  if (!entries_.back().raw.empty()) entries_.push_back(HiveEntry{});
  HiveEntry s;
  s.kind = HiveEntry::kSection;
  s.section = std::string(path);
  s.raw = "[" + s.section + "]";
  entries_.push_back(std::move(s));
}

const HiveEntry* HiveText::FindValue(std::string_view section, std::string_view name) const {
  bool inside = false;
  const HiveEntry* found = nullptr;
  for (const auto& e : entries_) {
    if (e.kind == HiveEntry::kSection) {
      inside = EqualNoCase(e.section, section);
    } else if (inside && e.kind == HiveEntry::kValue && EqualNoCase(e.name, name)) {
      found = &e;  // the last one wins, as when regedit imports the file
    }
  }
  return found;
}

void HiveText::SetValue(std::string_view section, std::string_view name, uint32_t type,
                        std::vector<uint8_t> data) {
  HiveEntry value;
  value.kind = HiveEntry::kValue;
  value.name = std::string(name);
  value.type = type;
  value.raw = FormatValueLine(name, type, data);
  value.data = std::move(data);
  if (auto* existing = const_cast<HiveEntry*>(FindValue(section, name))) {
    *existing = std::move(value);
    return;
  }
  AddSection(section);
  // Insert after the last non-blank entry of the (last) matching section.
  size_t insert_at = entries_.size();
  bool inside = false;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const auto& e = entries_[i];
    if (e.kind == HiveEntry::kSection) {
      if (inside) break;
      inside = EqualNoCase(e.section, section);
      if (inside) insert_at = i + 1;
    } else if (inside && !Trim(e.raw).empty()) {
      insert_at = i + 1;
    }
  }
  entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(insert_at), std::move(value));
}

}  // namespace tonvik::reg
