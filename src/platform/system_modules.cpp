#include "platform/system_modules.h"

#include <unistd.h>

#include <climits>
#include <vector>

#include "platform/registry.h"
#include "platform/text.h"

namespace tonvik {

namespace {

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

}  // namespace

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return "./";
  const std::string exe(path, static_cast<size_t>(n));
  return exe.substr(0, exe.rfind('/') + 1);
}

std::string SystemModulesFolder() {
  if (auto key = reg::Key::Open(reg::Root::LocalMachine, kWindowsVersionKey)) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (key->Query(u"SystemModulesDir", &type, &data) && (type == reg::kSz || type == reg::kExpandSz)) {
      std::u16string text;
      for (size_t i = 0; i + 1 < data.size(); i += 2) {
        const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (c == 0) break;
        text += c;
      }
      if (!text.empty()) return WithSlash(ToUtf8(text));
    }
  }
  return WithSlash(kDefaultSystemModulesDir);
}

std::string FindModuleByName(const std::string& name) {
  for (const std::string& folder : {ProgramFolder(), SystemModulesFolder()}) {
    const std::string path = folder + name;
    if (::access(path.c_str(), F_OK) == 0) return path;
  }
  return {};
}

DynamicLibrary LoadModuleByName(const std::string& name) {
  const std::string path = FindModuleByName(name);
  return path.empty() ? DynamicLibrary() : DynamicLibrary(path);
}

}  // namespace tonvik
