#include "core/app_exception.h"

#include <algorithm>
#include <vector>

#include "platform/text.h"

namespace tonvik {

AppException::AppException(std::u16string_view message) { Init(message); }

AppException::AppException(const char* message) { Init(FromUtf8(message ? message : "")); }

void AppException::Init(std::u16string_view message) noexcept {
  const size_t n = std::min(message.size(), kCapacity - 1);
  std::copy_n(message.data(), n, message_);
  message_[n] = 0;
  message_[kCapacity - 1] = 0;
  // Convert once, here, so what() never writes anything.
  size_t out = 0;
  for (size_t i = 0; i < n; ++i) {
    char32_t c = message_[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && message_[i + 1] >= 0xDC00 &&
        message_[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (message_[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      what_[out++] = static_cast<char>(c);
    } else if (c < 0x800) {
      what_[out++] = static_cast<char>(0xC0 | (c >> 6));
      what_[out++] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      what_[out++] = static_cast<char>(0xE0 | (c >> 12));
      what_[out++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      what_[out++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      what_[out++] = static_cast<char>(0xF0 | (c >> 18));
      what_[out++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      what_[out++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      what_[out++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  what_[out] = 0;
}

std::u16string FormatMessage(std::u16string_view pattern,
                             std::initializer_list<std::u16string_view> args) {
  std::vector<std::u16string_view> list(args);
  std::u16string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == u'%') {
      size_t j = i + 1;
      size_t index = 0;
      while (j < pattern.size() && pattern[j] >= u'0' && pattern[j] <= u'9')
        index = index * 10 + (pattern[j++] - u'0');
      if (j > i + 1 && j < pattern.size() && pattern[j] == u'%' && index >= 1 &&
          index <= list.size()) {
        out += list[index - 1];
        i = j;
        continue;
      }
    }
    out += pattern[i];
  }
  return out;
}

}  // namespace tonvik
