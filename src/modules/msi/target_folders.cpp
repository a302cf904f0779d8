#include "target_folders.h"

#include <optional>

#include "platform/registry.h"
#include "platform/system_modules.h"
#include "platform/text.h"

namespace tonvik::msi {

namespace {

constexpr char kDefaultProgramFilesDir[] = "/opt";
constexpr char kDefaultProgramMenuDir[] = "/usr/local/share/applications";

// Well-known folders of Windows that have no place on this system.
const std::set<std::string> kRefusedFolders = {
    "AdminToolsFolder",   "AppDataFolder",   "CommonAppDataFolder", "CommonFiles64Folder",
    "CommonFilesFolder",  "DesktopFolder",   "FavoritesFolder",     "FontsFolder",
    "LocalAppDataFolder", "MyPicturesFolder", "NetHoodFolder",      "PersonalFolder",
    "PrintHoodFolder",    "RecentFolder",    "SendToFolder",        "StartMenuFolder",
    "StartupFolder",      "System16Folder",  "TempFolder",          "TemplateFolder",
    "WindowsFolder",      "WindowsVolume"};

}  // namespace

RootFolders CurrentRootFolders() {
  return {MachineFolder(u"ProgramFilesDir", kDefaultProgramFilesDir), SystemModulesFolder(),
          MachineFolder(u"ProgramMenuDir", kDefaultProgramMenuDir)};
}

std::string LongName(const std::string& name) {
  const size_t bar = name.find('|');
  return bar == std::string::npos ? name : name.substr(bar + 1);
}

bool IsSafeName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

MapStatus MapDirectories(const std::vector<DirectoryRow>& rows, const RootFolders& roots,
                         FolderMap* map) {
  *map = FolderMap();
  const std::map<std::string, std::string> mapped = {
      {"ProgramFilesFolder", roots.program_files}, {"ProgramFiles64Folder", roots.program_files},
      {"SystemFolder", roots.system_modules},      {"System64Folder", roots.system_modules},
      {"ProgramMenuFolder", roots.program_menu}};
  std::map<std::string, const DirectoryRow*> by_key;
  for (const DirectoryRow& r : rows) by_key[r.key] = &r;

  // The path of each row, or nullopt when it lies outside the mapped folders.
  std::map<std::string, std::optional<std::string>> done;
  bool invalid = false;
  auto resolve = [&](auto&& self, const std::string& key, size_t depth) -> std::optional<std::string> {
    if (auto it = done.find(key); it != done.end()) return it->second;
    std::optional<std::string> path;
    if (depth > by_key.size()) {
      invalid = true;  // the parents loop
    } else if (auto m = mapped.find(key); m != mapped.end()) {
      path = m->second;
    } else if (kRefusedFolders.count(key) != 0) {
      map->refused.insert(key);
    } else if (auto row = by_key.find(key); row == by_key.end()) {
      invalid = true;
    } else if (!row->second->parent.empty() && row->second->parent != key) {
      // "target:source" names the folder by its target part.
      std::string name = row->second->default_dir;
      name = name.substr(0, name.find(':'));
      name = LongName(name);
      const std::optional<std::string> parent = self(self, row->second->parent, depth + 1);
      if (name != "." && !IsSafeName(name)) {
        invalid = true;
      } else if (parent) {
        path = name == "." ? *parent : *parent + name + "/";
      } else if (map->refused.count(row->second->parent) != 0) {
        map->refused.insert(key);
      }
    }
    done[key] = path;
    return path;
  };
  for (const DirectoryRow& r : rows) {
    if (auto path = resolve(resolve, r.key, 0)) map->paths[r.key] = *path;
  }
  return invalid ? MapStatus::kInvalid : MapStatus::kMapped;
}

}  // namespace tonvik::msi
