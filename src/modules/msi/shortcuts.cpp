#include "shortcuts.h"

#include "target_folders.h"

namespace tonvik::msi {

namespace {

// One argument of an Exec line: quoted when it holds a reserved character,
// and '%' doubled as field codes demand.
std::string ExecArgument(const std::string& text) {
  const bool quote = text.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
  std::string out;
  for (char c : text) {
    if (c == '%') {
      out += "%%";
    } else if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  if (!quote) return out;
  // The desktop entry's string escaping doubles the backslashes once more.
  std::string escaped;
  for (char c : out) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  return "\"" + escaped + "\"";
}

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

ShortcutStatus PrepareShortcut(const ShortcutRow& row, const std::string& folder,
                               const FormatContext& context, ShortcutFile* file) {
  const std::string name = LongName(row.name);
  if (!IsSafeName(name)) return ShortcutStatus::kInvalid;
  if (row.target.find('[') == std::string::npos) return ShortcutStatus::kUnsupported;
  const auto target = FormatText(row.target, context);
  const auto arguments = FormatText(row.arguments.value_or(""), context);
  if (!target || !arguments) return ShortcutStatus::kUnsupported;
  if (target->empty() || (*target)[0] != '/') return ShortcutStatus::kInvalid;

  std::string stem = target->substr(target->rfind('/') + 1);
  stem = stem.substr(0, stem.find('.'));
  std::string exec = ExecArgument(*target);
  if (!arguments->empty()) exec += " " + OneLine(*arguments);
  file->path = folder + name + ".desktop";
  file->content = "[Desktop Entry]\nType=Application\nName=" + OneLine(name) + "\n";
  if (row.description && !row.description->empty())
    file->content += "Comment=" + OneLine(*row.description) + "\n";
  file->content += "Exec=" + exec + "\n";
  if (!stem.empty()) {
    const std::string picture = target->substr(0, target->rfind('/') + 1) + stem + ".png";
    bool installed = false;
    if (context.file_paths)
      for (const auto& entry : *context.file_paths) installed |= entry.second == picture;
    file->content += "Icon=" + (installed ? picture : stem) + "\n";
  }
  return ShortcutStatus::kReady;
}

}  // namespace tonvik::msi
