// The sheet text decoder on any bytes: what it accepts comes out as
// well-formed UTF-8 without control characters, and that text, written back
// as UTF-8 (with and without a byte-order mark), as UTF-16 in either byte
// order, and as Windows-1252 where every character has a byte there and the
// bytes cannot be read as UTF-8, decodes to itself again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cdrom/cue_text.h"

namespace {

void Check(bool ok, const char* what, std::string_view text) {
  if (ok) return;
  std::fprintf(stderr, "cue text: %s (%zu bytes of text)\n", what, text.size());
  std::abort();
}

// The code points of well-formed UTF-8 (shortest forms, no surrogates);
// false otherwise.
bool CodePoints(std::string_view s, std::vector<char32_t>* out) {
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int more = b < 0x80 ? 0 : b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
    if (more < 0 || (more > 0 && i + size_t(more) >= s.size())) return false;
    char32_t c = more == 0 ? b : b & (0x3F >> more);
    for (int k = 1; k <= more; ++k) {
      const auto t = static_cast<unsigned char>(s[i + size_t(k)]);
      if ((t & 0xC0) != 0x80) return false;
      c = c << 6 | (t & 0x3F);
    }
    const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (c < least[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    out->push_back(c);
    i += size_t(more) + 1;
  }
  return true;
}

std::string Utf16(const std::vector<char32_t>& text, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  auto unit = [&](char32_t u) {
    const char hi = char(u >> 8), lo = char(u & 0xFF);
    out.push_back(big_endian ? hi : lo);
    out.push_back(big_endian ? lo : hi);
  };
  for (char32_t c : text) {
    if (c >= 0x10000) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
  return out;
}

// Windows-1252 as the decoder reads it: Latin-1 but for 0x80-0x9F.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool Cp1252(const std::vector<char32_t>& text, std::string* out) {
  for (char32_t c : text) {
    int byte = c < 0x80 || (c >= 0xA0 && c <= 0xFF) ? int(c) : -1;
    for (int k = 0; byte < 0 && k < 32; ++k)
      if (kHigh[k] == c) byte = 0x80 + k;
    if (byte < 0) return false;
    out->push_back(char(byte));
  }
  return true;
}

void ReadsBackAs(const std::string& bytes, const std::string& utf8, const char* how) {
  std::string again;
  Check(tonvik::cdrom::DecodeSheetText(bytes, &again), how, utf8);
  Check(again == utf8, how, utf8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string utf8;
  if (!tonvik::cdrom::DecodeSheetText(bytes, &utf8)) return 0;

  std::vector<char32_t> text;
  Check(CodePoints(utf8, &text), "the text is not well-formed UTF-8", utf8);
  for (char32_t c : text)
    Check(c >= 0x20 ? c != 0x7F : c == '\t' || c == '\r' || c == '\n', "a control character came through", utf8);

  // A text that starts with U+FEFF reads its first character as a mark when
  // written without one; with a mark written before it, it reads whole.
  if (text.empty() || text[0] != 0xFEFF) ReadsBackAs(utf8, utf8, "UTF-8 does not read back");
  ReadsBackAs("\xEF\xBB\xBF" + utf8, utf8, "UTF-8 with a mark does not read back");
  ReadsBackAs(Utf16(text, false), utf8, "UTF-16LE does not read back");
  ReadsBackAs(Utf16(text, true), utf8, "UTF-16BE does not read back");

  std::string cp1252;
  std::vector<char32_t> ignored;
  if (Cp1252(text, &cp1252) && !CodePoints(cp1252, &ignored)) {
    const bool marked = cp1252.rfind("\xFF\xFE", 0) == 0 || cp1252.rfind("\xFE\xFF", 0) == 0 ||
                        cp1252.rfind("\xEF\xBB\xBF", 0) == 0;
    if (!marked) ReadsBackAs(cp1252, utf8, "Windows-1252 does not read back");
  }
  return 0;
}
