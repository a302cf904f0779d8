// Modules by name: the program's folder first, then the system modules folder
// the machine hive names.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/system_modules.h"
#include "support/temp_hives.h"

namespace tonvik {
namespace {

TEST(SystemModules, FolderComesFromTheMachineHiveWithItsSlash) {
  struct Case {
    const char* hive;  // the key's lines, or nothing
    std::string folder;
  } cases[] = {
      {"", "/usr/local/lib/quellbrook/"},
      {"\"SystemModulesDir\"=\"/opt/mods\"\n", "/opt/mods/"},
      {"\"SystemModulesDir\"=\"/opt/mods/\"\n", "/opt/mods/"},
      {"\"systemmodulesdir\"=\"/x\"\n", "/x/"},      // names are case-blind
      {"\"SystemModulesDir\"=dword:00000001\n", "/usr/local/lib/quellbrook/"},  // not a string
      {"\"SystemModulesDir\"=\"\"\n", "/usr/local/lib/quellbrook/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hive);
    testing::TempHives hives;
    testing::TempHives::WriteFile(hives.machine_hive(),
                                  std::string("Windows Registry Editor Version 5.00\n\n"
                                              "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n") +
                                      c.hive);
    EXPECT_EQ(SystemModulesFolder(), c.folder);
  }
}

TEST(SystemModules, LoadsFromTheProgramFolderBeforeTheSystemFolder) {
  testing::TempHives hives;
  const auto system = hives.root() / "system";
  std::filesystem::create_directories(system);
  testing::TempHives::WriteFile(hives.machine_hive(),
                                "Windows Registry Editor Version 5.00\n\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n"
                                "\"SystemModulesDir\"=\"" + system.string() + "\"\n");
  EXPECT_EQ(ProgramFolder(), TONVIK_BINARY_DIR "/tests/platform/");
  EXPECT_FALSE(LoadModuleByName("nothing.so").loaded());
  // A file that is no library is found, and refused by the loader.
  testing::TempHives::WriteFile(system / "broken.so", "not an ELF file");
  DynamicLibrary broken = LoadModuleByName("broken.so");
  EXPECT_FALSE(broken.loaded());
  EXPECT_NE(broken.error().find(system.string() + "/broken.so"), std::string::npos) << broken.error();
  // The program's own folder wins: the test program itself is found there
  // (and, being a program, refused), not the file of the system folder.
  const std::string self = std::filesystem::path(TONVIK_BINARY_DIR "/tests/platform/platform_tests").filename();
  testing::TempHives::WriteFile(system / self, "not an ELF file");
  DynamicLibrary own = LoadModuleByName(self);
  EXPECT_EQ(own.error().find(system.string()), std::string::npos) << own.error();
}

}  // namespace
}  // namespace tonvik
