#include "output/naming.h"

#include <cstdio>

#include "output/utf8_to_wide.h"
#include "platform/text.h"

namespace tonvik {

namespace {

constexpr std::u16string_view kForbidden = u":*?\\/<>\"|";
constexpr size_t kMaxComponentBytes = 255;

void TrimTrailingDots(std::u16string& s) {
  while (!s.empty() && s.back() == u'.') s.pop_back();
}

// UTF-8 length of one UTF-16 unit (a surrogate half counts as 2 of the pair's 4).
size_t Utf8Bytes(char16_t c) {
  if (c < 0x80) return 1;
  if (c < 0x800) return 2;
  if (c >= 0xD800 && c <= 0xDFFF) return 2;
  return 3;
}

size_t Utf8Length(std::u16string_view s) {
  size_t n = 0;
  for (char16_t c : s) n += Utf8Bytes(c);
  return n;
}

// The longest prefix of at most `limit` UTF-8 bytes that does not split a pair.
std::u16string_view CutTo(std::u16string_view s, size_t limit) {
  size_t bytes = 0, i = 0;
  while (i < s.size()) {
    size_t step = 1;
    size_t need = Utf8Bytes(s[i]);
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size()) {
      step = 2;
      need = 4;
    }
    if (bytes + need > limit) break;
    bytes += need;
    i += step;
  }
  return s.substr(0, i);
}

std::u16string FitComponent(std::u16string_view name, bool keep_extension) {
  if (Utf8Length(name) <= kMaxComponentBytes) return std::u16string(name);
  std::u16string_view ext;
  if (keep_extension) {
    const size_t dot = name.rfind(u'.');
    // Only a short tail counts as an extension.
    if (dot != std::u16string_view::npos && dot > 0 && name.size() - dot <= 16) {
      ext = name.substr(dot);
    }
  }
  const std::u16string_view stem = name.substr(0, name.size() - ext.size());
  std::u16string out(CutTo(stem, kMaxComponentBytes - Utf8Length(ext)));
  out += ext;
  return out;
}

}  // namespace

std::u16string FilterName(std::u16string_view name) {
  std::u16string out;
  out.reserve(name.size());
  for (char16_t c : name) {
    if (kForbidden.find(c) == std::u16string_view::npos) out.push_back(c);
  }
  return out;
}

std::u16string ExpandTemplate(const DiscMetadata& disc, std::u16string_view tmpl, uint32_t index) {
  std::u16string result;
  for (size_t i = 0; i < tmpl.size(); ++i) {
    const char16_t c = tmpl[i];
    if (c != u'%') {
      result.push_back(c == u'\\' ? u'/' : c);
      continue;
    }
    if (i + 1 == tmpl.size()) {
      result.push_back(u'%');
      break;
    }
    const char16_t p = tmpl[++i];
    const std::string* value = nullptr;
    bool trims = true;
    switch (p) {
      case u'1': value = &disc.artist; break;
      case u'2':
        // A title beyond the list expands to nothing.
        value = &TrackTitle(disc, index);
        break;
      case u'3': value = &disc.album; break;
      case u'4': value = &disc.year; trims = false; break;
      case u'5': value = &disc.genre; break;
      case u'7': value = &disc.comment; break;
      case u'8': value = &disc.release_id; break;
      case u'6': {
        char number[16];
        std::snprintf(number, sizeof number, "%02u", index + 1);
        for (const char* q = number; *q; ++q) result.push_back(static_cast<char16_t>(*q));
        continue;
      }
      default:
        result.push_back(u'%');
        result.push_back(p);
        continue;
    }
    result += FilterName(Utf8ToWide(value->c_str()));
    if (trims) TrimTrailingDots(result);
  }
  TrimTrailingDots(result);
  return result;
}

std::u16string FitComponents(std::u16string_view path) {
  std::u16string out;
  size_t start = 0;
  while (true) {
    const size_t slash = path.find(u'/', start);
    const bool last = slash == std::u16string_view::npos;
    const std::u16string_view part =
        path.substr(start, last ? std::u16string_view::npos : slash - start);
    out += FitComponent(part, last);
    if (last) break;
    out.push_back(u'/');
    start = slash + 1;
  }
  return out;
}

}  // namespace tonvik
