#include "core/startup.h"

#include <climits>

#include "core/app_exception.h"
#include "core/messages.h"
#include "platform/utf16_reader.h"

namespace tonvik {
namespace {

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

// Input that is not UTF-16LE text: half a unit at the end, NUL units, unpaired
// surrogates, or a first line that is not plain ASCII (it must be a number; an
// ASCII or UTF-8 writer produces units such as U+0A32 for "2\n").
bool LooksLikeUtf16Text(std::u16string_view line, bool first_line) {
  for (size_t i = 0; i < line.size(); ++i) {
    char16_t c = line[i];
    if (c == 0) return false;
    if (first_line && c >= 0x80) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= line.size() || line[i + 1] < 0xDC00 || line[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

[[noreturn]] void Reject(std::u16string_view message) { throw AppException(message); }

std::u16string Decimal(long long v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

}  // namespace

int ParseFormatNumber(std::u16string_view line) {
  size_t i = 0;
  while (i < line.size() && IsSpace(line[i])) ++i;
  bool negative = false;
  if (i < line.size() && (line[i] == u'+' || line[i] == u'-')) negative = line[i++] == u'-';
  long long value = 0;
  while (i < line.size() && line[i] >= u'0' && line[i] <= u'9') {
    value = value * 10 + (line[i++] - u'0');
    if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;  // saturate
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

StartupInput ReadStartupInput(Utf16LineReader& reader) {
  StartupInput input;
  int line_number = 1;
  auto next = [&](bool first) -> std::optional<std::u16string> {
    auto line = reader.ReadLine(kMaxLineUnits);
    if (line && first && !line->empty() && (*line)[0] == 0xFEFF) line->erase(0, 1);  // BOM
    // A line cut at its limit may end on the first half of a pair; the text
    // is still UTF-16, only too long.
    if (line && reader.overlong() && !line->empty() && line->back() >= 0xD800 && line->back() <= 0xDBFF)
      line->pop_back();
    if (reader.odd_byte_at_end() || (line && !LooksLikeUtf16Text(*line, first)))
      Reject(kMsgNotUtf16);
    if (line && reader.overlong())
      Reject(FormatMessage(kMsgLineTooLong, {Decimal(line_number), Decimal(kMaxLineUnits)}));
    ++line_number;
    return line;
  };

  auto first = next(true);
  if (!first || first->empty()) Reject(kMsgNotLaunchedDirectly);
  input.format_number = ParseFormatNumber(*first);
  if (input.format_number < 1 || input.format_number > 6)
    Reject(FormatMessage(kMsgUnknownFormat, {Decimal(input.format_number)}));

  while (auto line = next(false)) {
    if (line->empty()) break;
    input.paths.push_back(std::move(*line));
  }
  if (input.paths.empty()) Reject(kMsgInternal12);
  if (input.paths.size() > 1) {
    for (const auto& p : input.paths)
      if (p.size() < 10) Reject(FormatMessage(kMsgPathTooShort, {p}));
  }
  input.drive_letter = input.paths.front()[0];
  return input;
}

}  // namespace tonvik
