#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/fd_io.h"
#include "platform/hive_text.h"
#include "platform/text.h"

namespace tonvik::reg {
namespace {

const char* RootName(Root root) {
  return root == Root::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string SectionPath(Root root, std::u16string_view subkey) {
  return std::string(RootName(root)) + "\\" + ToUtf8(subkey);
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return ss.str();
}

std::atomic<uint64_t> g_parse_count[2];
std::atomic<void (*)(WriteStep)> g_write_step_hook{nullptr};

void Reached(WriteStep step) {
  if (auto hook = g_write_step_hook.load()) hook(step);
}

HiveText ParseHive(Root root, std::string_view text) {
  g_parse_count[root == Root::LocalMachine ? 0 : 1].fetch_add(1, std::memory_order_relaxed);
  return HiveText::Parse(text);
}

std::optional<HiveText> LoadHive(Root root) {
  auto text = ReadFile(HivePath(root));
  if (!text) return std::nullopt;
  return ParseHive(root, *text);
}

// Holds the hive's lock file (<hive>.lock) locked for the lifetime of the object.
class HiveLock {
 public:
  explicit HiveLock(const std::string& hive) {
    fd_ = ::open((hive + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0) {
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~HiveLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Locks the hive, re-reads it, applies change and replaces the file atomically.
template <typename Change>
bool ModifyHive(Root root, Change change) {
  const std::string path = HivePath(root);
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  HiveLock lock(path);
  if (!lock.ok()) return false;
  Reached(WriteStep::Locked);
  HiveText hive;
  if (auto text = ReadFile(path)) {
    hive = ParseHive(root, *text);
  } else if (std::filesystem::exists(path, ec)) {
    return false;  // present but unreadable: never replace what we could not read
  }
  change(hive);
  const std::string tmp = path + ".tmp." + std::to_string(::getpid());
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string text = hive.Print();
  bool ok = WriteAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) Reached(WriteStep::TemporaryWritten);
  if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  Reached(WriteStep::Replaced);
  int dir = ::open(std::filesystem::path(path).parent_path().c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

std::string Home() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : "/";
}

}  // namespace

std::string HivePath(Root root) {
  if (root == Root::LocalMachine) {
    std::string dirs;
    if (const char* env = std::getenv("XDG_CONFIG_DIRS"); env && *env) dirs = env;
    std::string first = dirs.substr(0, dirs.find(':'));
    if (first.empty()) first = "/etc/xdg";
    return first + "/Quellbrook/system.reg";
  }
  std::string base;
  if (const char* env = std::getenv("XDG_CONFIG_HOME"); env && *env) base = env;
  if (base.empty()) base = Home() + "/.config";
  return base + "/Quellbrook/user.reg";
}

uint64_t HiveParseCount(Root root) {
  return g_parse_count[root == Root::LocalMachine ? 0 : 1].load(std::memory_order_relaxed);
}

void SetWriteStepHook(void (*hook)(WriteStep step)) { g_write_step_hook = hook; }

bool KeyValues::Query(std::u16string_view name, uint32_t* type, std::vector<uint8_t>* data) const {
  auto it = values_.find(FoldCase(ToUtf8(name)));
  if (it == values_.end()) return false;
  if (type) *type = it->second.type;
  if (data) *data = it->second.data;
  return true;
}

std::optional<Key> Key::Open(Root root, std::u16string_view subkey) {
  auto hive = LoadHive(root);
  if (!hive || !hive->HasSection(SectionPath(root, subkey))) {
    errno = ENOENT;
    return std::nullopt;
  }
  return Key(root, std::u16string(subkey));
}

std::optional<Key> Key::Create(Root root, std::u16string_view subkey) {
  if (auto hive = LoadHive(root); hive && hive->HasSection(SectionPath(root, subkey)))
    return Key(root, std::u16string(subkey));
  const std::string section = SectionPath(root, subkey);
  if (!ModifyHive(root, [&](HiveText& h) { h.AddSection(section); })) return std::nullopt;
  return Key(root, std::u16string(subkey));
}

bool Key::Query(std::u16string_view name, uint32_t* type, std::vector<uint8_t>* data) const {
  auto hive = LoadHive(root_);
  if (!hive) return false;
  const HiveEntry* e = hive->FindValue(SectionPath(root_, subkey_), ToUtf8(name));
  if (!e) return false;
  if (type) *type = e->type;
  if (data) *data = e->data;
  return true;
}

std::optional<KeyValues> Key::ReadAll(Root root, std::u16string_view subkey) {
  auto hive = LoadHive(root);
  const std::string section = SectionPath(root, subkey);
  if (!hive || !hive->HasSection(section)) {
    errno = ENOENT;
    return std::nullopt;
  }
  const std::string folded = FoldCase(section);
  KeyValues values;
  bool inside = false;
  for (const HiveEntry& e : hive->entries()) {
    if (e.kind == HiveEntry::kSection) {
      inside = FoldCase(e.section) == folded;
    } else if (inside && e.kind == HiveEntry::kValue) {
      values.values_[FoldCase(e.name)] = {e.type, e.data};  // a later line replaces an earlier one
    }
  }
  return values;
}

bool Key::Set(std::u16string_view name, uint32_t type, const void* data, size_t size) const {
  const auto* bytes = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> value(bytes, bytes + size);
  const std::string section = SectionPath(root_, subkey_);
  const std::string value_name = ToUtf8(name);
  return ModifyHive(root_, [&](HiveText& h) { h.SetValue(section, value_name, type, value); });
}

std::optional<std::u16string> Key::QueryString(std::u16string_view name) const {
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (!Query(name, &type, &data) || (type != kSz && type != kExpandSz)) return std::nullopt;
  std::u16string text;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    text += c;
  }
  return text;
}

bool Key::SetDword(std::u16string_view name, int32_t value) const {
  uint32_t v = static_cast<uint32_t>(value);
  uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                      static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  return Set(name, kDword, bytes, 4);
}

bool Key::SetString(std::u16string_view name, std::u16string_view value) const {
  std::vector<uint8_t> bytes;
  bytes.reserve(value.size() * 2 + 2);
  for (char16_t c : value) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return Set(name, kSz, bytes.data(), bytes.size());
}

}  // namespace tonvik::reg
