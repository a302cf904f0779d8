#include "install/prerequisite.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "install/setup_checks.h"
#include "modules/msi/msi.h"
#include "platform/file_version.h"
#include "platform/system_modules.h"

namespace tonvik::install {

namespace {

constexpr char16_t kWmaDescription[] =
    u"You need to install this component only if you're going to rip CDs to WMA. If you don't need "
    u"WMA support you may uncheck this component and skip installing it.";

// A file (not a folder) at `path`.
bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string CurrentDir() {
  char buffer[PATH_MAX];
  if (!::getcwd(buffer, sizeof buffer)) return "./";
  return buffer;
}

// Windows Installer is there when msi.so loads by name, exports
// MsiGetFileVersionA, and that function's version of msi.so's own file is new
// enough.
bool WindowsInstallerPresent() {
  const std::string found = FindModuleByName("msi.so");
  DynamicLibrary msi = LoadModuleByName("msi.so");
  if (!msi.loaded()) return false;
  auto get_version = msi.Function<MsiGetFileVersionAFn>("MsiGetFileVersionA");
  if (!get_version) return false;
  // The module's path as the loader knows it.
  std::string path = found;
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(get_version), &info) != 0 && info.dli_fname && info.dli_fname[0] == '/')
    path = info.dli_fname;
  if (path.empty()) return false;
  char version[256] = {};
  uint32_t size = sizeof version;
  if (get_version(path.c_str(), version, &size, nullptr, nullptr) != ERROR_SUCCESS) return false;
  return MsiVersionSufficient(version);
}

// The WMA codecs are there when wmvcore.so, found as a module loaded by name
// would be (but not loaded), carries a version that is new enough.
bool WmaCodecsPresent() {
  const std::string path = FindModuleByName("wmvcore.so");
  if (path.empty()) return false;
  const std::optional<std::string> version = ReadFileVersion(path);
  return version && WmaVersionSufficient(*version);
}

}  // namespace

std::vector<Prerequisite> DetectPrerequisites(const DetectionInputs& inputs) {
  std::string folder = inputs.current_dir.empty() ? CurrentDir() : inputs.current_dir;
  if (folder.back() != '/') folder.push_back('/');

  std::vector<Prerequisite> missing;
  if (!WindowsInstallerPresent()) {
    Prerequisite p{PrerequisiteKind::WindowsInstaller, u"Windows Installer", u"Required system component.", {},
                   /*required=*/true};
    if (FileExists(folder + "instmsiw")) p.local_file = folder + "instmsiw";
    missing.push_back(std::move(p));
  }
  if (!WmaCodecsPresent()) {
    Prerequisite p{PrerequisiteKind::WmaCodecs, u"Windows Media Audio 10 (WMA) codecs", kWmaDescription, {},
                   /*required=*/false};
    if (FileExists(folder + "wmfdist")) p.local_file = folder + "wmfdist";
    if (FileExists(folder + "wmfdist95")) p.local_file = folder + "wmfdist95";
    missing.push_back(std::move(p));
  }
  return missing;
}

}  // namespace tonvik::install
