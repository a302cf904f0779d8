// A Windows Installer package as the engine installs it: the rows of the
// tables it understands and the bytes of every file from the package's
// embedded cabinets. Tables that would run code or touch services are
// refused; the others are not read.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"

namespace tonvik::msi {

struct DirectoryRow {
  std::string key;
  std::string parent;  // empty for a root
  std::string default_dir;
};

struct ComponentRow {
  std::string key;
  std::string directory;
};

struct FileRow {
  std::string key;
  std::string component;
  std::string file_name;  // as in the table: "SHORT~1|long name" or one name
  int64_t size = 0;
  int64_t sequence = 0;
};

struct RegistryRow {
  std::string key;
  int root = 0;
  std::string subkey;
  std::optional<std::string> name;
  std::optional<std::string> value;
  std::string component;
};

struct ShortcutRow {
  std::string key;
  std::string directory;
  std::string name;
  std::string component;
  std::string target;
  std::optional<std::string> arguments;
  std::optional<std::string> description;
};

struct Package {
  Properties properties;
  std::vector<DirectoryRow> directories;
  std::vector<ComponentRow> components;
  std::vector<FileRow> files;  // in sequence order
  std::vector<RegistryRow> registry;
  std::vector<ShortcutRow> shortcuts;
  std::map<std::string, std::vector<uint8_t>> file_data;  // by File key
};

enum class PackageStatus {
  kRead,
  kMissing,      // no file at the path
  kInvalid,      // not a database, a table or a cabinet cannot be read, a file is missing
  kUnsupported,  // the package asks for something this engine does not do
};

// Reads the package at `path`; on kUnsupported `reason` names what was refused.
PackageStatus ReadPackage(const std::string& path, Package* package, std::string* reason);

}  // namespace tonvik::msi
