// Output file names. Paths use '/' as separator.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "output/disc_metadata.h"

namespace tonvik {

// Expands %1 artist, %2 title, %3 album, %4 year, %5 genre, %6 track number
// (index + 1, at least two digits; 00 for kHiddenTrackIndex), %7 comment, %8 release identifier. Values
// are filtered; trailing dots go after every value but %4 and %6 and at the
// end. Both '/' and '\' in literal text make a sub-folder and come out as '/'.
std::u16string ExpandTemplate(const DiscMetadata& disc, std::u16string_view tmpl, uint32_t index);

// The text without the nine characters : * ? \ / < > " |
std::u16string FilterName(std::u16string_view name);

// Shortens every component longer than 255 bytes in UTF-8 at a character
// boundary; the last component keeps its extension.
std::u16string FitComponents(std::u16string_view path);

}  // namespace tonvik
