// The redistributables list on the maker's host ("/redist/redist.txt"): one
// "key=address" a line. Logic only.
#pragma once
#include <map>
#include <string>
#include <string_view>

namespace tonvik::install {

// Lines end at LF (a CR before it is dropped); each splits at its first '=';
// key and address are kept exactly as written (case-sensitive, no trimming);
// empty lines and lines without '=' are skipped; the first line of a key
// wins; reading stops at the first line longer than 259 characters.
std::map<std::string, std::string> ParseRedistList(std::string_view text);

// The list's key for a component on this system ("MSIUNICODE", "WMFDISTXP").
const char* RedistKey(int kind);

}  // namespace tonvik::install
