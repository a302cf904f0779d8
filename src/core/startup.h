// The start-up lines a desktop integration writes to the ripper's standard
// input, UTF-16LE: line 1 the format number, then one path a line, ended by an
// empty line or the end of input.
#pragma once
#include <string>
#include <vector>

namespace tonvik {

class Utf16LineReader;

inline constexpr size_t kMaxLineUnits = 259;

struct StartupInput {
  int format_number = 0;
  std::vector<std::u16string> paths;
  char16_t drive_letter = 0;
};

// The decimal value of a line: leading white space skipped, optional sign,
// digits up to the first non-digit; 0 when there are none.
int ParseFormatNumber(std::u16string_view line);

// Reads and checks the start-up lines; throws AppException with the message the
// user sees when the input cannot be used.
StartupInput ReadStartupInput(Utf16LineReader& reader);

}  // namespace tonvik
