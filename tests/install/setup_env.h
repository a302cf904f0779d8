// Shared helpers of the setup's tests: a sandbox with its own hives and system
// modules folder, environment variables set for one test, small files.
#pragma once
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "install/install_worker.h"
#include "platform/registry.h"
#include "platform/system_modules.h"
#include "platform/text.h"
#include "support/temp_hives.h"

namespace tonvik::install::test {

namespace fs = std::filesystem;

// A folder of the test build, with its '/'.
inline std::string BuildFolder(const std::string& name) {
  return std::string(TONVIK_BINARY_DIR "/tests/install/") + name + "/";
}

// Sets (or, with nullopt, removes) an environment variable until the end of
// the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (saved_)
      ::setenv(name_.c_str(), saved_->c_str(), 1);
    else
      ::unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

inline void WriteFile(const fs::path& path, const std::string& text, fs::perms perms = fs::perms::owner_read |
                                                                                        fs::perms::owner_write) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  fs::permissions(path, perms);
}

inline void WriteScript(const fs::path& path, const std::string& text) {
  WriteFile(path, text, fs::perms::owner_all);
}

inline std::vector<std::string> Lines(const fs::path& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The names in a folder, sorted.
inline std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Private hives and an empty system modules folder, both in a temporary
// folder removed afterwards.
class Sandbox {
 public:
  Sandbox() {
    fs::create_directories(system());
    SetSystemModulesDir(system().string());
  }
  const fs::path& root() const { return hives_.root(); }
  fs::path system() const { return root() / "system"; }
  // Also forgets the engine bound from the last folder.
  void SetSystemModulesDir(const std::string& folder) const {
    reg::Key::Create(reg::Root::LocalMachine, kWindowsVersionKey)->SetString(u"SystemModulesDir", FromUtf8(folder));
    install::ForgetMsiBinding();
  }

 private:
  tonvik::testing::TempHives hives_;
};

}  // namespace tonvik::install::test
