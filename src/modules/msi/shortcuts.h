// Shortcut table rows as desktop entries: "<Name>.desktop" in the folder of
// the row's Directory (the program menu folder or below it), with Exec= the
// target's full path and the row's arguments, Name= the shortcut's name,
// Comment= its description, and the target's own icon, as a program on the
// original platform carries it: Icon= the full path of "<target's name
// without extension>.png" when the package installs that file beside the
// target, else that name as an icon-theme name. Advertised shortcuts (a
// Feature as target) are
// refused: the target must be formatted text such as "[#FileKey]".
#pragma once
#include <string>

#include "formatted.h"
#include "package.h"

namespace tonvik::msi {

struct ShortcutFile {
  std::string path;
  std::string content;
};

enum class ShortcutStatus { kReady, kInvalid, kUnsupported };

ShortcutStatus PrepareShortcut(const ShortcutRow& row, const std::string& folder,
                               const FormatContext& context, ShortcutFile* file);

}  // namespace tonvik::msi
