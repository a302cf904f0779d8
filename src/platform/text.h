// UTF-16 strings are the system's own text type (settings, start-up lines,
// messages); the file system and the libraries want UTF-8.
#pragma once
#include <string>
#include <string_view>

namespace tonvik {

// Well-formed conversions; unpaired surrogates and malformed bytes become U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// ISO-8859-1, the code page of ID3v1 text; characters above U+00FF become '?'.
std::string ToLatin1(std::u16string_view text);

}  // namespace tonvik
