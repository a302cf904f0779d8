#include "command_line.h"

namespace tonvik::msi {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.'; }

}  // namespace

std::optional<Properties> ParseCommandLine(const std::string& line) {
  Properties properties;
  size_t i = 0;
  const size_t n = line.size();
  for (;;) {
    while (i < n && IsBlank(line[i])) ++i;
    if (i == n) break;
    if (!IsNameStart(line[i])) return std::nullopt;
    const size_t name_start = i;
    while (i < n && IsNameChar(line[i])) ++i;
    const std::string name = line.substr(name_start, i - name_start);
    if (i == n || line[i] != '=') return std::nullopt;
    ++i;
    std::string value;
    while (i < n && !IsBlank(line[i])) {
      if (line[i] == '"') {
        ++i;
        for (;;) {
          if (i == n) return std::nullopt;
          if (line[i] == '"') {
            if (i + 1 < n && line[i + 1] == '"') {
              value += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          value += line[i++];
        }
      } else {
        value += line[i++];
      }
    }
    properties[name] = value;
  }
  return properties;
}

}  // namespace tonvik::msi
