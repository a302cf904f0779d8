#include "installer.h"

#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "command_line.h"
#include "file_transaction.h"
#include "formatted.h"
#include "hive_snapshot.h"
#include "msi.h"
#include "package.h"
#include "platform/text.h"
#include "product_record.h"
#include "registry_rows.h"
#include "shortcuts.h"
#include "target_folders.h"
#include "user_interface.h"

namespace tonvik::msi {

namespace {

std::mutex g_install_mutex;

struct PlannedFile {
  std::string key;
  std::string path;
  const std::vector<uint8_t>* data;
};

std::u16string ActionText(const std::string& action, const std::string& description) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char clock[16];
  std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
  return FromUtf8("Action " + std::string(clock) + ": " + action + ". " + description);
}

std::u16string ProgressText(int field1, int64_t field2) {
  return FromUtf8("1: " + std::to_string(field1) + " 2: " + std::to_string(field2) + " 3: 0 4: 0");
}

// Collects everything the installation will do before it touches anything.
class Plan {
 public:
  uint32_t Build(const std::string& package_path, const Properties& command_line) {
    std::string reason;
    switch (ReadPackage(package_path, &package_, &reason)) {
      case PackageStatus::kMissing:
        return ERROR_INSTALL_PACKAGE_OPEN_FAILED;
      case PackageStatus::kInvalid:
        return ERROR_INSTALL_PACKAGE_INVALID;
      case PackageStatus::kUnsupported:
        return ERROR_INSTALL_FAILURE;
      case PackageStatus::kRead:
        break;
    }
    package_path_ = package_path;
    properties_ = package_.properties;
    if (!IsProductCode(FromUtf8(Property("ProductCode")))) return ERROR_INSTALL_PACKAGE_INVALID;
    if (MapDirectories(package_.directories, CurrentRootFolders(), &folders_) != MapStatus::kMapped)
      return ERROR_INSTALL_PACKAGE_INVALID;
    // The command line's properties apply, then the folders resolve as
    // properties: a folder cannot be moved from the command line, so what
    // [INSTALLDIR] says is always where the files went.
    for (const auto& [name, value] : command_line) properties_[name] = value;
    for (const auto& [key, path] : folders_.paths) properties_[key] = path;

    std::map<std::string, std::string> component_directory;
    for (const ComponentRow& c : package_.components) {
      // A component in a folder this system does not have is refused, even
      // one without files: its other rows would name that folder.
      if (folders_.refused.count(c.directory) != 0) return ERROR_INSTALL_FAILURE;
      component_directory[c.key] = c.directory;
      if (auto it = folders_.paths.find(c.directory); it != folders_.paths.end())
        component_folders_[c.key] = it->second;
    }
    std::set<std::string> targets;
    for (const FileRow& f : package_.files) {
      auto dir = component_directory.find(f.component);
      if (dir == component_directory.end()) return ERROR_INSTALL_PACKAGE_INVALID;
      auto folder = folders_.paths.find(dir->second);
      if (folder == folders_.paths.end()) return ERROR_INSTALL_FAILURE;  // outside the mapped folders
      const std::string name = LongName(f.file_name);
      if (!IsSafeName(name)) return ERROR_INSTALL_PACKAGE_INVALID;
      const std::string path = folder->second + name;
      files_.push_back({f.key, path, &package_.file_data.at(f.key)});
      file_paths_[f.key] = path;
    }

    const FormatContext context{&properties_, &file_paths_, &component_folders_, &folders_.refused};
    for (const RegistryRow& r : package_.registry) {
      if (component_directory.count(r.component) == 0) return ERROR_INSTALL_PACKAGE_INVALID;
      RegistryWrite write;
      switch (PrepareRegistryWrite(r, context, &write, &reason)) {
        case RowStatus::kInvalid:
          return ERROR_INSTALL_PACKAGE_INVALID;
        case RowStatus::kUnsupported:
          return ERROR_INSTALL_FAILURE;
        case RowStatus::kReady:
          break;
      }
      registry_.push_back(std::move(write));
    }

    for (const ShortcutRow& s : package_.shortcuts) {
      auto folder = folders_.paths.find(s.directory);
      if (folder == folders_.paths.end()) return ERROR_INSTALL_FAILURE;
      ShortcutFile file;
      switch (PrepareShortcut(s, folder->second, context, &file)) {
        case ShortcutStatus::kInvalid:
          return ERROR_INSTALL_PACKAGE_INVALID;
        case ShortcutStatus::kUnsupported:
          return ERROR_INSTALL_FAILURE;
        case ShortcutStatus::kReady:
          break;
      }
      shortcut_paths_[s.key] = file.path;
      shortcuts_.push_back(std::move(file));
    }
    return ERROR_SUCCESS;
  }

  std::string Property(const std::string& name) const {
    auto it = properties_.find(name);
    return it == properties_.end() ? std::string() : it->second;
  }

  const std::vector<PlannedFile>& files() const { return files_; }
  const std::vector<RegistryWrite>& registry() const { return registry_; }
  const std::vector<ShortcutFile>& shortcuts() const { return shortcuts_; }
  const std::map<std::string, std::string>& file_paths() const { return file_paths_; }
  const std::map<std::string, std::string>& shortcut_paths() const { return shortcut_paths_; }
  const std::string& package_path() const { return package_path_; }

 private:
  Package package_;
  std::string package_path_;
  Properties properties_;
  FolderMap folders_;
  std::map<std::string, std::string> component_folders_;
  std::map<std::string, std::string> file_paths_;
  std::map<std::string, std::string> shortcut_paths_;
  std::vector<PlannedFile> files_;
  std::vector<RegistryWrite> registry_;
  std::vector<ShortcutFile> shortcuts_;
};

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

// Carries the plan out; every early return takes everything back.
uint32_t Execute(const Plan& plan) {
  FileTransaction files;  // rolls back unless finished
  const HiveSnapshot machine(reg::Root::LocalMachine);
  const HiveSnapshot user(reg::Root::CurrentUser);
  bool hives_touched = false;
  auto fail = [&](uint32_t code) {
    files.Rollback();
    if (hives_touched) {
      machine.Restore();
      user.Restore();
    }
    return code;
  };
  auto tick = [&]() { return SendMessage(INSTALLMESSAGE_PROGRESS, ProgressText(2, 1)); };

  const int64_t total = static_cast<int64_t>(plan.files().size() + plan.shortcuts().size() +
                                             plan.registry().size()) + 1;
  if (!SendMessage(INSTALLMESSAGE_PROGRESS, ProgressText(0, total))) return fail(ERROR_INSTALL_USEREXIT);

  if (!SendMessage(INSTALLMESSAGE_ACTIONSTART, ActionText("InstallFiles", "Copying new files")))
    return fail(ERROR_INSTALL_USEREXIT);
  for (const PlannedFile& f : plan.files()) {
    const std::string folder = FolderOf(f.path);
    if (!SendMessage(INSTALLMESSAGE_ACTIONDATA,
                     FromUtf8("File: " + f.path.substr(folder.size()) + ",  Directory: " + folder +
                              ",  Size: " + std::to_string(f.data->size()))))
      return fail(ERROR_INSTALL_USEREXIT);
    if (!files.EnsureFolder(folder) || !files.Stage(f.path, *f.data, ModeFor(*f.data)))
      return fail(ERROR_INSTALL_FAILURE);
    if (!tick()) return fail(ERROR_INSTALL_USEREXIT);
  }

  if (!plan.shortcuts().empty() &&
      !SendMessage(INSTALLMESSAGE_ACTIONSTART, ActionText("CreateShortcuts", "Creating shortcuts")))
    return fail(ERROR_INSTALL_USEREXIT);
  for (const ShortcutFile& s : plan.shortcuts()) {
    const std::vector<uint8_t> bytes(s.content.begin(), s.content.end());
    if (!files.EnsureFolder(FolderOf(s.path)) || !files.Stage(s.path, bytes, 0644))
      return fail(ERROR_INSTALL_FAILURE);
    if (!tick()) return fail(ERROR_INSTALL_USEREXIT);
  }

  if (!SendMessage(INSTALLMESSAGE_ACTIONSTART,
                   ActionText("WriteRegistryValues", "Writing system registry values")))
    return fail(ERROR_INSTALL_USEREXIT);
  for (const RegistryWrite& w : plan.registry()) {
    hives_touched = true;
    if (!ApplyRegistryWrite(w)) return fail(ERROR_INSTALL_FAILURE);
    if (!tick()) return fail(ERROR_INSTALL_USEREXIT);
  }

  if (!files.Commit()) return fail(ERROR_INSTALL_FAILURE);

  if (!SendMessage(INSTALLMESSAGE_ACTIONSTART, ActionText("RegisterProduct", "Registering product")))
    return fail(ERROR_INSTALL_USEREXIT);
  ProductRecord record{plan.Property("ProductCode"), plan.Property("ProductName"),
                       plan.Property("ProductVersion"), plan.package_path(), plan.file_paths(),
                       plan.shortcut_paths()};
  hives_touched = true;
  if (!WriteProductRecord(record)) return fail(ERROR_INSTALL_FAILURE);
  files.Finish();
  SendMessage(INSTALLMESSAGE_PROGRESS, ProgressText(2, 1));
  return ERROR_SUCCESS;
}

}  // namespace

uint32_t InstallProduct(const std::string& package_path, const std::string& command_line) {
  const std::optional<Properties> properties = ParseCommandLine(command_line);
  if (!properties) return ERROR_INVALID_COMMAND_LINE;
  // Removing products and administrative installs are not this engine's.
  if (auto it = properties->find("REMOVE"); it != properties->end() && !it->second.empty())
    return ERROR_INSTALL_FAILURE;
  if (auto it = properties->find("ACTION"); it != properties->end() && it->second != "INSTALL")
    return ERROR_INSTALL_FAILURE;

  std::lock_guard lock(g_install_mutex);
  Plan plan;
  if (const uint32_t rc = plan.Build(package_path, *properties); rc != ERROR_SUCCESS) return rc;
  return Execute(plan);
}

}  // namespace tonvik::msi
