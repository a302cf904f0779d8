// msi.so, loaded as the setup loads it, installing a package of the input
// into a sandbox: a temporary folder whose machine hive maps the program
// files, system modules and program menu folders into it. The setup's steps:
// MsiOpenDatabaseW and the product code query, then MsiInstallProductW (now
// and then cancelled from the progress handler).
//
// Every file the engine creates, writes, links, renames, changes or removes
// lies inside the sandbox: the libc functions it calls for that are
// interposed here (this program exports them, so msi.so binds to them) and
// check the path while an engine call runs. A package that is refused (or
// cancelled) leaves the sandbox exactly as it was, every file's bytes
// included; one that installs adds only below the three mapped folders, and
// is taken out again before the next input.
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "modules/msi/msi.h"

namespace fs = std::filesystem;

namespace {

std::string g_root;           // the sandbox, a real path without a trailing slash
bool g_watching = false;      // an engine call is running

[[noreturn]] void Escaped(const char* call, const std::string& path) {
  std::fprintf(stderr, "msi install: %s outside the sandbox: %s\n", call, path.c_str());
  std::abort();
}

// The path as the kernel would resolve it, without following the last
// component: lexically from the directory it is relative to, with the real
// path of its deepest existing folder (a link out of the sandbox counts).
std::string Resolve(int dirfd, const char* path) {
  std::string full = path;
  if (full.empty() || full[0] != '/') {
    char base[PATH_MAX];
    if (dirfd == AT_FDCWD) {
      if (!::getcwd(base, sizeof base)) return {};
    } else {
      const std::string link = "/proc/self/fd/" + std::to_string(dirfd);
      const ssize_t n = ::readlink(link.c_str(), base, sizeof base - 1);
      if (n <= 0) return {};
      base[n] = '\0';
    }
    full = std::string(base) + "/" + full;
  }
  fs::path normal = fs::path(full).lexically_normal();
  fs::path folder = normal.parent_path();
  std::error_code ec;
  while (!folder.empty() && !fs::exists(folder, ec)) folder = folder.parent_path();
  char real[PATH_MAX];
  if (!folder.empty() && ::realpath(folder.c_str(), real) != nullptr)
    return (fs::path(real) / fs::relative(normal, folder, ec)).lexically_normal().string();
  return normal.string();
}

void Check(const char* call, int dirfd, const char* path) {
  if (!g_watching || path == nullptr) return;
  const std::string where = Resolve(dirfd, path);
  if (where.size() <= g_root.size() || where.compare(0, g_root.size() + 1, g_root + "/") != 0) Escaped(call, where);
}

template <typename Fn>
Fn Real(const char* name) {
  static_assert(sizeof(Fn) == sizeof(void*));
  return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

bool Writes(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0; }

}  // namespace

// The interposed calls: each checks its paths, then calls the C library's.
extern "C" {

// The mode argument of an open call is there only when the call creates.
#define MODE_ARGUMENT(last, flags)        \
  mode_t mode = 0;                        \
  if ((flags) & (O_CREAT | O_TMPFILE)) {  \
    va_list args;                         \
    va_start(args, last);                 \
    mode = va_arg(args, mode_t);          \
    va_end(args);                         \
  }

int open(const char* path, int flags, ...) {
  MODE_ARGUMENT(flags, flags);
  if (Writes(flags)) Check("open", AT_FDCWD, path);
  static const auto real = Real<int (*)(const char*, int, ...)>("open");
  return real(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
  MODE_ARGUMENT(flags, flags);
  if (Writes(flags)) Check("open64", AT_FDCWD, path);
  static const auto real = Real<int (*)(const char*, int, ...)>("open64");
  return real(path, flags, mode);
}
int openat(int dirfd, const char* path, int flags, ...) {
  MODE_ARGUMENT(flags, flags);
  if (Writes(flags)) Check("openat", dirfd, path);
  static const auto real = Real<int (*)(int, const char*, int, ...)>("openat");
  return real(dirfd, path, flags, mode);
}
int creat(const char* path, mode_t mode) {
  Check("creat", AT_FDCWD, path);
  static const auto real = Real<int (*)(const char*, mode_t)>("creat");
  return real(path, mode);
}
int mkostemp(char* tmpl, int flags) {
  Check("mkostemp", AT_FDCWD, tmpl);
  static const auto real = Real<int (*)(char*, int)>("mkostemp");
  return real(tmpl, flags);
}
int mkstemp(char* tmpl) {
  Check("mkstemp", AT_FDCWD, tmpl);
  static const auto real = Real<int (*)(char*)>("mkstemp");
  return real(tmpl);
}
int mkdir(const char* path, mode_t mode) {
  Check("mkdir", AT_FDCWD, path);
  static const auto real = Real<int (*)(const char*, mode_t)>("mkdir");
  return real(path, mode);
}
int rename(const char* from, const char* to) {
  Check("rename", AT_FDCWD, from);
  Check("rename", AT_FDCWD, to);
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  return real(from, to);
}
int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  Check("renameat", from_dir, from);
  Check("renameat", to_dir, to);
  static const auto real = Real<int (*)(int, const char*, int, const char*)>("renameat");
  return real(from_dir, from, to_dir, to);
}
int link(const char* from, const char* to) {
  Check("link", AT_FDCWD, to);
  static const auto real = Real<int (*)(const char*, const char*)>("link");
  return real(from, to);
}
int symlink(const char* target, const char* path) {
  Check("symlink", AT_FDCWD, path);
  static const auto real = Real<int (*)(const char*, const char*)>("symlink");
  return real(target, path);
}
int unlink(const char* path) {
  Check("unlink", AT_FDCWD, path);
  static const auto real = Real<int (*)(const char*)>("unlink");
  return real(path);
}
int unlinkat(int dirfd, const char* path, int flags) {
  Check("unlinkat", dirfd, path);
  static const auto real = Real<int (*)(int, const char*, int)>("unlinkat");
  return real(dirfd, path, flags);
}
int rmdir(const char* path) {
  Check("rmdir", AT_FDCWD, path);
  static const auto real = Real<int (*)(const char*)>("rmdir");
  return real(path);
}
int chmod(const char* path, mode_t mode) {
  Check("chmod", AT_FDCWD, path);
  static const auto real = Real<int (*)(const char*, mode_t)>("chmod");
  return real(path, mode);
}
int truncate(const char* path, off_t length) {
  Check("truncate", AT_FDCWD, path);
  static const auto real = Real<int (*)(const char*, off_t)>("truncate");
  return real(path, length);
}

// Each input forks two children, which copy what the parent touched: a small
// quarantine keeps that small.
const char* __asan_default_options() { return "quarantine_size_mb=8"; }

}  // extern "C"

namespace {

struct Api {
  MsiSetInternalUIFn set_internal_ui;
  MsiSetExternalUIWFn set_external_ui;
  MsiInstallProductWFn install_product;
  MsiOpenDatabaseWFn open_database;
  MsiDatabaseOpenViewWFn open_view;
  MsiViewExecuteFn view_execute;
  MsiViewFetchFn view_fetch;
  MsiRecordGetStringWFn record_get_string;
  MsiQueryProductStateWFn query_product_state;
  MsiCloseHandleFn close_handle;
};

using Tree = std::map<std::string, std::string>;  // relative path: bytes, or "/" for a folder

Tree Snapshot() {
  Tree tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(g_root, ec); !ec && it != fs::end(it); it.increment(ec)) {
    const std::string name = fs::relative(it->path(), g_root).string();
    if (it->is_directory()) {
      tree[name] = "/";
    } else {
      std::ifstream in(it->path(), std::ios::binary);
      tree[name] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return tree;
}

const char* const kMapped[] = {"programs", "system", "menu"};

struct Sandbox {
  Api api{};
  Tree clean;
  std::string package;

  Sandbox() {
    char tmpl[] = "/tmp/tonvik-fuzz-msi-XXXXXX";
    char real[PATH_MAX];
    if (!::mkdtemp(tmpl) || !::realpath(tmpl, real)) std::abort();
    g_root = real;
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(g_root, ec);
    });
    ::setenv("XDG_CONFIG_DIRS", (g_root + "/etc").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (g_root + "/home/.config").c_str(), 1);
    ::setenv("HOME", (g_root + "/home").c_str(), 1);
    for (const char* folder : {"etc/Quellbrook", "home/.config/Quellbrook", "pkg", "programs", "system"})
      fs::create_directories(g_root + "/" + folder);
    std::ofstream(g_root + "/etc/Quellbrook/system.reg")
        << "Windows Registry Editor Version 5.00\n\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n"
           "\"ProgramFilesDir\"=\"" << g_root << "/programs\"\n"
           "\"SystemModulesDir\"=\"" << g_root << "/system\"\n"
           "\"ProgramMenuDir\"=\"" << g_root << "/menu\"\n";
    // The lock files the hive code keeps beside the hives, there from the start.
    std::ofstream(g_root + "/etc/Quellbrook/system.reg.lock");
    std::ofstream(g_root + "/home/.config/Quellbrook/user.reg.lock");
    package = g_root + "/pkg/package.msi";

    void* msi = ::dlopen(MSI_MODULE, RTLD_NOW | RTLD_GLOBAL);
    if (!msi) {
      std::fprintf(stderr, "msi install: %s\n", ::dlerror());
      std::abort();
    }
    auto get = [msi](const char* name) {
      void* f = ::dlsym(msi, name);
      if (!f) std::abort();
      return f;
    };
    api.set_internal_ui = reinterpret_cast<MsiSetInternalUIFn>(get("MsiSetInternalUI"));
    api.set_external_ui = reinterpret_cast<MsiSetExternalUIWFn>(get("MsiSetExternalUIW"));
    api.install_product = reinterpret_cast<MsiInstallProductWFn>(get("MsiInstallProductW"));
    api.open_database = reinterpret_cast<MsiOpenDatabaseWFn>(get("MsiOpenDatabaseW"));
    api.open_view = reinterpret_cast<MsiDatabaseOpenViewWFn>(get("MsiDatabaseOpenViewW"));
    api.view_execute = reinterpret_cast<MsiViewExecuteFn>(get("MsiViewExecute"));
    api.view_fetch = reinterpret_cast<MsiViewFetchFn>(get("MsiViewFetch"));
    api.record_get_string = reinterpret_cast<MsiRecordGetStringWFn>(get("MsiRecordGetStringW"));
    api.query_product_state = reinterpret_cast<MsiQueryProductStateWFn>(get("MsiQueryProductStateW"));
    api.close_handle = reinterpret_cast<MsiCloseHandleFn>(get("MsiCloseHandle"));
  }

  // Everything the last installation added taken out, the hives put back.
  void Reset() {
    for (const char* folder : kMapped) fs::remove_all(g_root + "/" + folder);
    fs::create_directories(g_root + "/programs");
    fs::create_directories(g_root + "/system");
    fs::remove(g_root + "/home/.config/Quellbrook/user.reg");
    for (const auto& [name, bytes] : clean)
      if (bytes != "/" && name.rfind("pkg/", 0) != 0) std::ofstream(g_root + "/" + name, std::ios::binary) << bytes;
  }
};

Sandbox& TheSandbox() {
  static Sandbox sandbox;
  return sandbox;
}

struct Progress {
  int seen = 0;
  int cancel_at = -1;
};

int OnMessage(void* context, uint32_t type, const char16_t*) {
  auto* progress = static_cast<Progress*>(context);
  if ((type & 0xFF000000) == INSTALLMESSAGE_PROGRESS && progress->seen++ == progress->cancel_at) return 2;
  return 0;
}

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "msi install: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Sandbox& box = TheSandbox();
  std::ofstream(box.package, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  const Tree before = Snapshot();
  if (box.clean.empty()) box.clean = before;
  std::u16string path;
  for (char c : box.package) path += char16_t(static_cast<unsigned char>(c));

  g_watching = true;
  // As the setup asks whether the product is installed already.
  MSIHANDLE db = 0, view = 0, record = 0;
  if (box.api.open_database(path.c_str(), MSIDBOPEN_READONLY, &db) == ERROR_SUCCESS &&
      box.api.open_view(db, u"SELECT `Value` FROM `Property` WHERE `Property`='ProductCode'", &view) ==
          ERROR_SUCCESS &&
      box.api.view_execute(view, 0) == ERROR_SUCCESS && box.api.view_fetch(view, &record) == ERROR_SUCCESS) {
    char16_t code[40] = {};
    uint32_t length = 40;
    if (box.api.record_get_string(record, 1, code, &length) == ERROR_SUCCESS) box.api.query_product_state(code);
  }
  for (MSIHANDLE h : {record, view, db}) box.api.close_handle(h);

  // One input in eight is cancelled at one of its first progress messages.
  Progress progress;
  uint32_t hash = 0;
  for (size_t i = 0; i < size; ++i) hash = hash * 31 + data[i];
  if (hash % 8 == 0) progress.cancel_at = int(hash / 8 % 5);
  void* window = nullptr;
  box.api.set_internal_ui(INSTALLUILEVEL_NONE, &window);
  box.api.set_external_ui(OnMessage, kSetupMessageFilter, &progress);
  const uint32_t rc = box.api.install_product(path.c_str(), nullptr);
  box.api.set_external_ui(nullptr, 0, nullptr);
  g_watching = false;

  const Tree after = Snapshot();
  if (rc != ERROR_SUCCESS) {
    Require(rc == ERROR_INSTALL_PACKAGE_INVALID || rc == ERROR_INSTALL_FAILURE || rc == ERROR_INSTALL_USEREXIT ||
                rc == ERROR_INSTALL_PACKAGE_OPEN_FAILED,
            "an installation failed with a code the setup does not expect");
    Require(after == before, "a refused package left something behind");
    return 0;
  }
  for (const auto& [name, bytes] : after) {
    if (before.count(name) != 0) continue;
    bool mapped = false;
    for (const char* folder : kMapped) mapped |= name == folder || name.rfind(std::string(folder) + "/", 0) == 0;
    Require(mapped || name == "home/.config/Quellbrook/user.reg", "an installation added a file outside its folders");
  }
  box.Reset();
  Require(Snapshot() == before, "the sandbox could not be reset");
  return 0;
}
