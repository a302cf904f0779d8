// instmsiw and wmfdist95 run as the setup runs them ("/Q:A" "/R:N"), with the
// system modules folder pointed into a sandbox through the machine hive.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "redist/module_installer.h"
#include "support/shell.h"
#include "support/temp_hives.h"

namespace tonvik {
namespace {

namespace fs = std::filesystem;
using testing::Shell;
using testing::TempHives;

struct Redistributable {
  const char* program;
  const char* module_name;
  const char* built_module;
};

std::vector<Redistributable> Redistributables() {
  return {{WMFDIST95_PATH, "wmvcore.so", WMVCORE_PATH}, {INSTMSIW_PATH, "msi.so", MSI_PATH}};
}

class RedistTest : public ::testing::Test {
 protected:
  void PointModulesAt(const fs::path& folder) {
    TempHives::WriteFile(hives_.machine_hive(),
                         "Windows Registry Editor Version 5.00\n\n"
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n"
                         "\"SystemModulesDir\"=\"" + folder.string() + "\"\n");
  }
  // The program's exit code.
  int Run(const std::string& program, const std::string& arguments = "/Q:A /R:N") {
    int status = 0;
    Shell("'" + program + "' " + arguments + " 2>/dev/null", &status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  TempHives hives_;
};

TEST_F(RedistTest, PlacesItsModuleByteForByteInTheSystemModulesFolder) {
  const fs::path modules = hives_.root() / "system modules";  // created by the installer
  PointModulesAt(modules);
  for (const Redistributable& r : Redistributables()) {
    SCOPED_TRACE(r.program);
    EXPECT_EQ(Run(r.program), 0);
    const fs::path placed = modules / r.module_name;
    EXPECT_EQ(TempHives::ReadFile(placed), TempHives::ReadFile(r.built_module));
    EXPECT_NE(fs::status(placed).permissions() & fs::perms::owner_exec, fs::perms::none);
    // Nothing else: no temporary file stays behind.
  }
  EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(modules), fs::directory_iterator())),
            Redistributables().size());
}

TEST_F(RedistTest, ReplacingAModuleInUseAsksForARestart) {
  const fs::path modules = hives_.root() / "modules";
  PointModulesAt(modules);
  const Redistributable r = Redistributables().front();
  ASSERT_EQ(Run(r.program), 0);
  // This process now maps the placed module, as a running ripper would.
  void* handle = dlopen((modules / r.module_name).c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  EXPECT_EQ(Run(r.program), redist::kRebootRequired);
  dlclose(handle);
  EXPECT_EQ(TempHives::ReadFile(modules / r.module_name), TempHives::ReadFile(r.built_module));
  EXPECT_EQ(Run(r.program), 0);
}

TEST_F(RedistTest, RefusesUnknownOptionsAndUnwritableFolders) {
  // A folder below a regular file cannot be made, not even by root.
  const fs::path blocker = hives_.root() / "file";
  TempHives::WriteFile(blocker, "not a folder");
  PointModulesAt(blocker / "modules");
  const Redistributable r = Redistributables().front();
  EXPECT_EQ(Run(r.program), redist::kInstallFailed);
  PointModulesAt(hives_.root() / "modules");
  struct Case {
    const char* arguments;
    int code;
  } cases[] = {{"", 0}, {"/Q:A", 0}, {"/R:N /Q:A", 0}, {"/Q:U", 87}, {"/Q:A /R:A", 87}, {"--help", 87}};
  for (const Case& c : cases) EXPECT_EQ(Run(r.program, c.arguments), c.code) << c.arguments;
  EXPECT_FALSE(fs::exists(blocker / "modules"));
}

}  // namespace
}  // namespace tonvik
