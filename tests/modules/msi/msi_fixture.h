// Shared by msi.so's tests: the module loaded once per process as the setup
// loads it, a sandbox whose machine hive points the program files, system
// modules and program menu folders into a temporary folder, and packages built
// there with wixl.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "modules/msi/msi.h"
#include "platform/dynamic_library.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/shell.h"
#include "support/temp_hives.h"

namespace tonvik::testing {

namespace fs = std::filesystem;

inline constexpr char kProductCode[] = "{11111111-2222-3333-4444-555555555555}";

struct MsiApi {
  MsiGetFileVersionAFn GetFileVersionA;
  MsiSetInternalUIFn SetInternalUI;
  MsiSetExternalUIWFn SetExternalUIW;
  MsiInstallProductWFn InstallProductW;
  MsiOpenDatabaseWFn OpenDatabaseW;
  MsiDatabaseOpenViewWFn DatabaseOpenViewW;
  MsiViewExecuteFn ViewExecute;
  MsiViewFetchFn ViewFetch;
  MsiRecordGetStringWFn RecordGetStringW;
  MsiQueryProductStateWFn QueryProductStateW;
  MsiCloseHandleFn CloseHandle;

  // Loaded once and kept: the libraries under it register GObject types.
  static const MsiApi& Get() {
    static const MsiApi api = [] {
      DynamicLibrary library(MSI_MODULE);
      EXPECT_TRUE(library.loaded()) << library.error();
      MsiApi a{library.Function<MsiGetFileVersionAFn>("MsiGetFileVersionA"),
               library.Function<MsiSetInternalUIFn>("MsiSetInternalUI"),
               library.Function<MsiSetExternalUIWFn>("MsiSetExternalUIW"),
               library.Function<MsiInstallProductWFn>("MsiInstallProductW"),
               library.Function<MsiOpenDatabaseWFn>("MsiOpenDatabaseW"),
               library.Function<MsiDatabaseOpenViewWFn>("MsiDatabaseOpenViewW"),
               library.Function<MsiViewExecuteFn>("MsiViewExecute"),
               library.Function<MsiViewFetchFn>("MsiViewFetch"),
               library.Function<MsiRecordGetStringWFn>("MsiRecordGetStringW"),
               library.Function<MsiQueryProductStateWFn>("MsiQueryProductStateW"),
               library.Function<MsiCloseHandleFn>("MsiCloseHandle")};
      library.Leak();
      return a;
    }();
    return api;
  }
};

// Bytes that do not compress, so the cabinet spans many blocks.
inline std::string Payload(size_t size, uint32_t seed, const std::string& head = "") {
  std::string bytes = head;
  uint32_t x = seed;
  while (bytes.size() < size) {
    x = x * 1664525u + 1013904223u;
    bytes += static_cast<char>(x >> 24);
  }
  return bytes;
}

inline std::string ReadBytes(const fs::path& path) { return TempHives::ReadFile(path); }

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What a test package holds beyond the two files and the registry rows.
struct PackageParts {
  std::string main_component;  // more elements in the program's component
  std::string directories;     // more Directory elements under TARGETDIR
  std::string product;         // more elements in Product
  std::string name = "acme.msi";
};

class MsiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = hives_.root();
    programs_ = root_ / "programs";
    system_ = root_ / "system";
    menu_ = root_ / "menu";
    fs::create_directories(programs_);
    fs::create_directories(system_);
    fs::create_directories(root_ / "pkg");
    SetFolders(programs_.string(), system_.string(), menu_.string());
    tool_ = Payload(30000, 7, std::string("\x7f" "ELF", 4));
    data_ = Payload(20000, 11);
    WriteBytes(root_ / "pkg/acmetool", tool_);
    WriteBytes(root_ / "pkg/acme.bin", data_);
    api().SetExternalUIW(nullptr, 0, nullptr);
  }
  void TearDown() override { api().SetExternalUIW(nullptr, 0, nullptr); }

  static const MsiApi& api() { return MsiApi::Get(); }

  void SetFolders(const std::string& programs, const std::string& system, const std::string& menu) {
    auto key = reg::Key::Create(reg::Root::LocalMachine, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
    ASSERT_TRUE(key);
    key->SetString(u"ProgramFilesDir", FromUtf8(programs));
    key->SetString(u"SystemModulesDir", FromUtf8(system));
    key->SetString(u"ProgramMenuDir", FromUtf8(menu));
  }

  // Builds the package with wixl; the path of the .msi.
  std::string Build(const PackageParts& parts = {}) {
    const std::string wxs = R"(<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id=")" + std::string(kProductCode) + R"(" Name="Acme Tools" Language="1033" Version="1.2.3"
           Manufacturer="Acme" UpgradeCode="{11111111-2222-3333-4444-666666666666}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="acme.cab" EmbedCab="yes"/>
    <Property Id="ACMEVENDOR" Value="Acme"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="Acme">
          <Component Id="Main" Guid="{11111111-2222-3333-4444-777777777777}">
            <File Id="acmetool" Name="acmetool" Source="acmetool" KeyPath="yes"/>
            <RegistryValue Root="HKLM" Key="Software\Acme" Name="AppPath" Type="string" Value="[INSTALLDIR]"/>
            <RegistryValue Root="HKLM" Key="Software\Acme" Name="Tool" Type="string" Value="[#acmetool]"/>
            <RegistryValue Root="HKLM" Key="Software\Acme" Name="Vendor" Type="string" Value="[ACMEVENDOR]"/>
            <RegistryValue Root="HKLM" Key="Software\Acme" Name="Count" Type="integer" Value="7"/>
            <RegistryValue Root="HKMU" Key="Software\Acme" Name="Scope" Type="string" Value="machine"/>
            <RegistryValue Root="HKCU" Key="Software\Acme" Name="User" Type="string" Value="[ProductName]"/>
            )" + parts.main_component + R"(
          </Component>
        </Directory>
      </Directory>
      <Directory Id="SystemFolder">
        <Component Id="Sys" Guid="{11111111-2222-3333-4444-888888888888}">
          <File Id="acme.bin" Name="acme.bin" Source="acme.bin" KeyPath="yes"/>
        </Component>
      </Directory>
      )" + parts.directories + R"(
    </Directory>
    <Feature Id="All" Level="1">
      <ComponentRef Id="Main"/>
      <ComponentRef Id="Sys"/>
    </Feature>
    )" + parts.product + R"(
  </Product>
</Wix>
)";
    const fs::path source = root_ / "pkg" / (parts.name + ".wxs");
    WriteBytes(source, wxs);
    int status = -1;
    const std::string out = Shell("cd '" + (root_ / "pkg").string() + "' && wixl -o '" + parts.name +
                                  "' '" + source.string() + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    return (root_ / "pkg" / parts.name).string();
  }

  uint32_t Install(const std::string& package, const char16_t* command_line = nullptr) {
    const std::u16string path = FromUtf8(package);
    return api().InstallProductW(path.c_str(), command_line);
  }

  INSTALLSTATE State(const std::string& code = kProductCode) {
    return api().QueryProductStateW(FromUtf8(code).c_str());
  }

  // Every entry below the folder, hidden ones included.
  static std::vector<std::string> Tree(const fs::path& folder) {
    std::vector<std::string> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it); it.increment(ec))
      entries.push_back(fs::relative(it->path(), folder).string());
    std::sort(entries.begin(), entries.end());
    return entries;
  }

  static std::optional<std::string> HiveString(reg::Root root, const std::u16string& key,
                                               const std::u16string& name) {
    auto k = reg::Key::Open(root, key);
    uint32_t type = 0;
    std::vector<uint8_t> data;
    if (!k || !k->Query(name, &type, &data) || type != reg::kSz) return std::nullopt;
    std::u16string text;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
      const char16_t c = static_cast<char16_t>(data[i] | data[i + 1] << 8);
      if (c == 0) break;
      text += c;
    }
    return ToUtf8(text);
  }

  static std::optional<std::string> AcmeValue(const std::u16string& name) {
    return HiveString(reg::Root::LocalMachine, u"Software\\Acme", name);
  }

  std::string ToolPath() const { return (programs_ / "Acme/acmetool").string(); }
  std::string DataPath() const { return (system_ / "acme.bin").string(); }

  // Nothing of the product anywhere: no file or folder (temporaries included)
  // in the folders it maps, no hive value, no record.
  void ExpectNothingInstalled() {
    EXPECT_EQ(Tree(programs_), std::vector<std::string>{});
    EXPECT_EQ(Tree(system_), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(menu_));
    EXPECT_FALSE(reg::Key::Open(reg::Root::LocalMachine, u"Software\\Acme"));
    EXPECT_FALSE(reg::Key::Open(reg::Root::CurrentUser, u"Software\\Acme"));
    EXPECT_FALSE(reg::Key::Open(reg::Root::LocalMachine,
                                u"SOFTWARE\\Quellbrook\\Installer\\Products\\" + FromUtf8(kProductCode)));
    EXPECT_EQ(State(), INSTALLSTATE_UNKNOWN);
  }

  TempHives hives_;
  fs::path root_, programs_, system_, menu_;
  std::string tool_, data_;
};

// Records the messages an external handler receives.
struct MessageLog {
  std::vector<std::pair<uint32_t, std::string>> messages;
  int cancel_at = -1;  // answers IDCANCEL to that progress message (0-based)
  int progress_seen = 0;

  static int Handler(void* context, uint32_t type, const char16_t* text) {
    auto* log = static_cast<MessageLog*>(context);
    log->messages.emplace_back(type, ToUtf8(text));
    if ((type & 0xFF000000) == INSTALLMESSAGE_PROGRESS && log->progress_seen++ == log->cancel_at) return 2;
    return 0;
  }
  std::vector<std::string> Of(uint32_t type) const {
    std::vector<std::string> texts;
    for (const auto& [t, text] : messages) {
      if ((t & 0xFF000000) == type) texts.push_back(text);
    }
    return texts;
  }
};

}  // namespace tonvik::testing
