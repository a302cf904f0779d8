#include "platform/syserror.h"

#include <cstring>

#include "platform/text.h"

namespace tonvik {

std::u16string SystemErrorText(int error_code) {
  char buffer[512];
  // GNU strerror_r returns the text, which may or may not live in our buffer.
  const char* text = strerror_r(error_code, buffer, sizeof buffer);
  std::string s = text ? text : "";
  while (!s.empty() && (s.back() == '.' || s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return FromUtf8(s);
}

}  // namespace tonvik
