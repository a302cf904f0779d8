#include "cdrom/cue_text.h"

#include <QString>

#include <system_error>
#include <vector>

namespace tonvik::cdrom {
namespace {

// Windows-1252 0x80-0x9F; the five unassigned bytes stay C1 controls.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void PutUtf8(char32_t c, std::string* out) {
  if (c < 0x80) {
    out->push_back(char(c));
  } else if (c < 0x800) {
    out->push_back(char(0xC0 | c >> 6));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out->push_back(char(0xE0 | c >> 12));
    out->push_back(char(0x80 | (c >> 6 & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  } else {
    out->push_back(char(0xF0 | c >> 18));
    out->push_back(char(0x80 | (c >> 12 & 0x3F)));
    out->push_back(char(0x80 | (c >> 6 & 0x3F)));
    out->push_back(char(0x80 | (c & 0x3F)));
  }
}

// Appends the code points of well-formed UTF-8; false at the first byte
// that is not.
bool Utf8(std::string_view s, std::vector<char32_t>* out) {
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    int more = 0;
    char32_t c = 0;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      more = 1, c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      more = 2, c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      more = 3, c = b & 0x07;
    } else {
      return false;
    }
    if (more && i + size_t(more) >= s.size()) return false;
    for (int k = 1; k <= more; ++k) {
      const auto t = static_cast<unsigned char>(s[i + size_t(k)]);
      if ((t & 0xC0) != 0x80) return false;
      c = c << 6 | (t & 0x3F);
    }
    if ((more == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) || (more == 3 && (c < 0x10000 || c > 0x10FFFF)))
      return false;
    out->push_back(c);
    i += size_t(more) + 1;
  }
  return true;
}

bool Utf16(std::string_view s, bool big_endian, std::vector<char32_t>* out) {
  if (s.size() % 2) return false;
  for (size_t i = 0; i < s.size(); i += 2) {
    auto unit = [&](size_t at) {
      const auto a = static_cast<unsigned char>(s[at]), b = static_cast<unsigned char>(s[at + 1]);
      return char32_t(big_endian ? a << 8 | b : b << 8 | a);
    };
    char32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < s.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // an unpaired surrogate
    }
    out->push_back(c);
  }
  return true;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

bool Exists(const std::filesystem::path& p) {
  std::error_code ec;
  return std::filesystem::exists(p, ec);
}

// Each component as written, else the one entry of its folder that differs
// only in case.
std::filesystem::path MatchCase(const std::filesystem::path& base, const std::filesystem::path& relative) {
  std::filesystem::path at = base;
  for (const auto& part : relative) {
    const std::string want = part.string();
    if (want.empty() || want == ".") continue;
    if (Exists(at / part) || want == "..") {
      at /= part;
      continue;
    }
    std::error_code ec;
    std::filesystem::path found;
    for (std::filesystem::directory_iterator it(at, ec), end; !ec && it != end; it.increment(ec)) {
      if (SameIgnoringCase(it->path().filename().string(), want)) {
        found = it->path();
        break;
      }
    }
    if (found.empty()) return {};
    at = found;
  }
  return at;
}

}  // namespace

bool DecodeSheetText(std::string_view bytes, std::string* utf8) {
  std::vector<char32_t> text;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    if (!Utf8(bytes.substr(3), &text)) return false;
  } else if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    if (!Utf16(bytes.substr(2), bytes[0] == '\xFE', &text)) return false;
  } else if (!Utf8(bytes, &text)) {
    text.clear();
    for (char ch : bytes) {
      const auto b = static_cast<unsigned char>(ch);
      text.push_back(b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t(b));
    }
  }
  if (!text.empty() && text.back() == 0x1A) text.pop_back();  // DOS end of file
  utf8->clear();
  for (char32_t c : text) {
    if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') return false;
    if (c == 0x7F) return false;
    PutUtf8(c, utf8);
  }
  return true;
}

std::filesystem::path FindSheetFile(const std::filesystem::path& sheet_dir, const std::string& name) {
  std::string slashed = name;
  for (char& c : slashed)
    if (c == '\\') c = '/';
  if (slashed.empty()) return {};
  const std::filesystem::path written(slashed);
  const bool drive_letter = slashed.size() > 1 && slashed[1] == ':';  // C:/Music/...: not a path here
  if (!drive_letter) {
    const std::filesystem::path full = written.is_absolute() ? written : sheet_dir / written;
    if (Exists(full)) return full;
    const auto matched = written.is_absolute() ? MatchCase("/", written.relative_path()) : MatchCase(sheet_dir, written);
    if (!matched.empty()) return matched;
  }
  const std::filesystem::path leaf = written.filename();
  if (leaf.empty() || leaf == written) return {};
  if (Exists(sheet_dir / leaf)) return sheet_dir / leaf;
  return MatchCase(sheet_dir, leaf);
}

}  // namespace tonvik::cdrom
