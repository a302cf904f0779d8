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

std::string MachineFolder(std::u16string_view value_name, const char* fallback) {
  std::optional<std::u16string> text;
  if (auto key = reg::Key::Open(reg::Root::LocalMachine, kWindowsVersionKey)) text = key->QueryString(value_name);
  return WithSlash(text && !text->empty() ? ToUtf8(*text) : std::string(fallback));
}

std::string SystemModulesFolder() { return MachineFolder(u"SystemModulesDir", kDefaultSystemModulesDir); }

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
