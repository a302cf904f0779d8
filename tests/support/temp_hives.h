// Test helper: points both hives (and HOME, so the music folder) at a fresh
// temporary folder for the lifetime of the object, and restores the
// environment afterwards.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace tonvik::testing {

class TempHives {
 public:
  TempHives() {
    char tmpl[] = "/tmp/tonvik-test-XXXXXX";
    root_ = ::mkdtemp(tmpl);
    Save("XDG_CONFIG_DIRS", saved_dirs_);
    Save("XDG_CONFIG_HOME", saved_home_cfg_);
    Save("HOME", saved_home_);
    Save("XDG_MUSIC_DIR", saved_music_);
    ::setenv("XDG_CONFIG_DIRS", (root_ / "etc").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root_ / "home/.config").c_str(), 1);
    ::setenv("HOME", (root_ / "home").c_str(), 1);
    ::unsetenv("XDG_MUSIC_DIR");
    std::filesystem::create_directories(root_ / "home");
  }
  ~TempHives() {
    Restore("XDG_CONFIG_DIRS", saved_dirs_);
    Restore("XDG_CONFIG_HOME", saved_home_cfg_);
    Restore("HOME", saved_home_);
    Restore("XDG_MUSIC_DIR", saved_music_);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path machine_hive() const { return root_ / "etc/Quellbrook/system.reg"; }
  std::filesystem::path user_hive() const { return root_ / "home/.config/Quellbrook/user.reg"; }

  // Writes a hive file verbatim.
  static void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // A machine hive as the installer package leaves it.
  void Install(const std::string& app_path = "/opt/tonvik/lib/tonvik/") const {
    WriteFile(machine_hive(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Quellbrook\\vandral]\n"
              "\"AppPath\"=\"" + app_path + "\"\n"
              "\"HomeURL\"=\"https://tonvik.example/\"\n");
  }

 private:
  struct Saved {
    bool set = false;
    std::string value;
  };
  static void Save(const char* name, Saved& s) {
    if (const char* v = std::getenv(name)) s = {true, v};
  }
  static void Restore(const char* name, const Saved& s) {
    if (s.set)
      ::setenv(name, s.value.c_str(), 1);
    else
      ::unsetenv(name);
  }
  std::filesystem::path root_;
  Saved saved_dirs_, saved_home_cfg_, saved_home_, saved_music_;
};

}  // namespace tonvik::testing
