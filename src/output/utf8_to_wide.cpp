#include "output/utf8_to_wide.h"

namespace tonvik {

namespace {

// Number of continuation bytes a lead byte announces.
int Continuations(unsigned char lead) {
  if (lead < 0x80) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  return 3;
}

}  // namespace

std::u16string Utf8ToWide(const char* text) {
  std::u16string out;
  if (!text) return out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    const unsigned char lead = *p;
    const int more = Continuations(lead);
    // Never step over the terminator: a truncated sequence ends the text.
    for (int i = 1; i <= more; ++i) {
      if (p[i] == 0) return out;
    }
    switch (more) {
      case 0:
        out.push_back(lead);
        break;
      case 1:
        out.push_back(static_cast<char16_t>(((lead & 0x3F) << 6) | (p[1] & 0x3F)));
        break;
      case 2:
        out.push_back(static_cast<char16_t>((lead << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F)));
        break;
      default: {
        uint32_t cp = ((lead & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) |
                      (p[3] & 0x3Fu);
        if (cp < 0x10000 || cp > 0x10FFFF) {
          out.push_back(u'\uFFFD');
        } else {
          cp -= 0x10000;
          out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
          out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
      }
    }
    p += more + 1;
  }
  return out;
}

}  // namespace tonvik
