// Windows Installer's formatted text, as the Registry and Shortcut tables
// hold it:
//   [Name]     the property's value (a Directory key: its folder, ending with '/');
//              empty for an unknown property
//   [#Key]     the full path of the file with that File key ([!Key] the same)
//   [$Key]     the folder of the component with that key
//   [%Name]    the environment variable
//   [\c]       the character c itself
// Anything else in brackets, and a bracket without its partner, stays as written.
#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>

#include "command_line.h"

namespace tonvik::msi {

struct FormatContext {
  const Properties* properties = nullptr;
  const std::map<std::string, std::string>* file_paths = nullptr;       // File key → path
  const std::map<std::string, std::string>* component_folders = nullptr;  // Component key → folder
  const std::set<std::string>* refused_folders = nullptr;  // folders that cannot be resolved
};

// nullopt when the text refers to a folder this system does not map.
std::optional<std::string> FormatText(const std::string& text, const FormatContext& context);

}  // namespace tonvik::msi
