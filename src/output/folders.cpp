#include <sys/stat.h>

#include "platform/text.h"
#include "output/folders.h"

namespace tonvik {

namespace {

bool IsFolder(const std::u16string& path) {
  struct stat st;
  return ::stat(ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::u16string TrimSpaces(std::u16string s) {
  const size_t first = s.find_first_not_of(u' ');
  if (first == std::u16string::npos) return {};
  const size_t last = s.find_last_not_of(u' ');
  return s.substr(first, last - first + 1);
}

}  // namespace

void EnsureFolder(const std::u16string& folder) {
  std::u16string path = folder;
  if (!path.empty() && path.back() == u'/') path.pop_back();
  if (path.empty() || IsFolder(path)) return;
  const size_t slash = path.rfind(u'/');
  std::u16string parent;
  std::u16string name = path;
  if (slash != std::u16string::npos) {
    parent = path.substr(0, slash + 1);
    name = path.substr(slash + 1);
    EnsureFolder(parent);
  }
  name = TrimSpaces(name);
  if (name.empty()) return;
  ::mkdir(ToUtf8(parent + name).c_str(), 0777);
}

}  // namespace tonvik
