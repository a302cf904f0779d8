// Cue sheets as other programs write them: in UTF-8 (with or without a
// byte-order mark), UTF-16 with a byte-order mark, or the 8-bit Windows
// code page; naming files the Windows way.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace tonvik::cdrom {

// The sheet's text as UTF-8. Bytes that are not UTF-8 are read as
// Windows-1252. False when the bytes are not text: control characters
// other than tab, CR, LF (and a DOS end-of-file mark at the very end), or
// an odd length after a UTF-16 byte-order mark.
bool DecodeSheetText(std::string_view bytes, std::string* utf8);

// The file a sheet names, relative to the sheet's folder unless absolute:
// "\" separates folders; a name (or folder) that does not exist as written
// is matched without regard to case; a name that still is not found is
// looked for by its last component beside the sheet. Empty when none exists.
std::filesystem::path FindSheetFile(const std::filesystem::path& sheet_dir, const std::string& name);

}  // namespace tonvik::cdrom
