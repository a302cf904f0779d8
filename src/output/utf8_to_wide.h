// The metadata text conversion shared by the tag writers and the file naming.
#pragma once
#include <string>

namespace tonvik {

// Converts a zero-terminated UTF-8 string to UTF-16 without validating it.
// A sequence cut short by the terminator ends the conversion there, so the
// terminator is never passed; 4-byte sequences become surrogate pairs. A null
// pointer gives an empty string.
std::u16string Utf8ToWide(const char* text);

}  // namespace tonvik
