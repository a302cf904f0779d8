#include "formatted.h"

#include <cstdlib>

namespace tonvik::msi {

namespace {

std::string Lookup(const std::map<std::string, std::string>* map, const std::string& key) {
  if (map == nullptr) return {};
  auto it = map->find(key);
  return it == map->end() ? std::string() : it->second;
}

}  // namespace

std::optional<std::string> FormatText(const std::string& text, const FormatContext& context) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c != '[') {
      out += c;
      ++i;
      continue;
    }
    if (i + 3 < text.size() && text[i + 1] == '\\' && text[i + 3] == ']') {
      out += text[i + 2];  // [\[], [\]] and the like
      i += 4;
      continue;
    }
    const size_t close = text.find(']', i + 1);
    if (close == std::string::npos) {
      out += text.substr(i);
      break;
    }
    const std::string inner = text.substr(i + 1, close - i - 1);
    if (inner.empty() || inner.find('[') != std::string::npos) {
      out += '[';
      ++i;
      continue;
    }
    const std::string rest = inner.substr(1);
    switch (inner[0]) {
      case '#':
      case '!':
        out += Lookup(context.file_paths, rest);
        break;
      case '$':
        out += Lookup(context.component_folders, rest);
        break;
      case '%':
        if (const char* v = std::getenv(rest.c_str())) out += v;
        break;
      case '~':
        break;
      default:
        if (context.refused_folders != nullptr && context.refused_folders->count(inner) != 0)
          return std::nullopt;
        out += Lookup(context.properties, inner);
        break;
    }
    i = close + 1;
  }
  return out;
}

}  // namespace tonvik::msi
