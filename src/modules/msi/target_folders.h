// Where the package's Directory rows land on this system. The root folders a
// package may install into are the program files folder, the system modules
// folder and the program menu folder, each taken from the machine hive; every
// other directory nests below its parent by the long name of its DefaultDir.
// TARGETDIR is only the root of the tree: nothing is placed in it, nor in any
// directory that does not lie below one of the mapped root folders.
#pragma once
#include <map>
#include <set>
#include <string>
#include <vector>

#include "package.h"

namespace tonvik::msi {

struct RootFolders {
  std::string program_files;   // each ending with '/'
  std::string system_modules;
  std::string program_menu;
};

// The root folders as the machine hive names them now, with their defaults.
RootFolders CurrentRootFolders();

struct FolderMap {
  std::map<std::string, std::string> paths;  // Directory key → absolute path ending with '/'
  std::set<std::string> refused;  // keys of well-known folders this system does not map
};

enum class MapStatus { kMapped, kInvalid };

// kInvalid for a name that would leave its parent ('/', '\\', "..") or a
// parent chain that loops or names a missing row.
MapStatus MapDirectories(const std::vector<DirectoryRow>& rows, const RootFolders& roots,
                         FolderMap* map);

// The long name of a "short|long" pair.
std::string LongName(const std::string& name);
// A single path component that stays in its folder.
bool IsSafeName(const std::string& name);

}  // namespace tonvik::msi
