// Detection of the missing components in a sandboxed system modules folder:
// real modules (the fake msi.so, copies of wmvcore.so, modules with version
// notes), loaded or read as the setup does.
#include <gtest/gtest.h>
#include <unistd.h>

#include "install/prerequisite.h"
#include "install/setup_env.h"

namespace tonvik::install {
namespace {

using test::BuildFolder;
using test::fs::path;
using test::ScopedEnv;

constexpr char16_t kWmaDescription[] =
    u"You need to install this component only if you're going to rip CDs to WMA. If you don't need "
    u"WMA support you may uncheck this component and skip installing it.";

std::string Kinds(const std::vector<Prerequisite>& found) {
  std::string kinds;
  for (const Prerequisite& p : found) kinds += p.kind == PrerequisiteKind::WindowsInstaller ? "msi " : "wma ";
  return kinds;
}

void Copy(const std::string& from, const path& to) {
  test::fs::copy_file(from, to, test::fs::copy_options::overwrite_existing);
}

TEST(Detection, NamesAndDescriptionsOfMissingComponents) {
  test::Sandbox sandbox;  // an empty system modules folder
  const std::vector<Prerequisite> found = DetectPrerequisites({sandbox.root().string()});
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].kind, PrerequisiteKind::WindowsInstaller);
  EXPECT_EQ(found[0].name, u"Windows Installer");
  EXPECT_EQ(found[0].description, u"Required system component.");
  EXPECT_TRUE(found[0].required);
  EXPECT_EQ(found[1].kind, PrerequisiteKind::WmaCodecs);
  EXPECT_EQ(found[1].name, u"Windows Media Audio 10 (WMA) codecs");
  EXPECT_EQ(found[1].description, kWmaDescription);
  EXPECT_FALSE(found[1].required);
  for (const Prerequisite& p : found) {
    EXPECT_TRUE(p.local_file.empty());
    EXPECT_FALSE(p.selected);
  }
}

TEST(Detection, WindowsInstallerByTheVersionMsiSoGivesForItself) {
  struct Case {
    const char* what;
    std::string module;                // copied to <system>/msi.so; empty: none
    std::optional<std::string> version;  // the fake's answer; nullopt: its own note (3.1.4000.2435)
    bool missing;
  } cases[] = {
      {"no msi.so", "", std::nullopt, true},
      {"version 1.1", BuildFolder("msi_full") + "msi.so", "1.1", true},
      {"version 1.0.4", BuildFolder("msi_full") + "msi.so", "1.0.4", true},
      {"version 2.0", BuildFolder("msi_full") + "msi.so", "2.0", false},
      {"version 3.1", BuildFolder("msi_full") + "msi.so", "3.1", false},
      {"version 10", BuildFolder("msi_full") + "msi.so", "10", false},
      {"its own note", BuildFolder("msi_full") + "msi.so", std::nullopt, false},
      {"the version cannot be read", BuildFolder("msi_full") + "msi.so", "error", true},
      // A real library, but without MsiGetFileVersionA.
      {"no MsiGetFileVersionA", TONVIK_BINARY_DIR "/src/modules/wmvcore/wmvcore.so", std::nullopt, true},
      {"not a library", TONVIK_SOURCE_DIR "/tests/install/setup_env.h", std::nullopt, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::Sandbox sandbox;
    const path log = sandbox.root() / "msi.log";
    ScopedEnv log_env("FAKE_MSI_LOG", log.string());
    ScopedEnv version_env("FAKE_MSI_VERSION", c.version);
    if (!c.module.empty()) Copy(c.module, sandbox.system() / "msi.so");
    // WMA codecs present, so only Windows Installer may be reported.
    Copy(TONVIK_BINARY_DIR "/src/modules/wmvcore/wmvcore.so", sandbox.system() / "wmvcore.so");
    EXPECT_EQ(Kinds(DetectPrerequisites({sandbox.root().string()})), c.missing ? "msi " : "");
    if (c.module.find("msi_full") != std::string::npos) {
      // The version asked for is that of the module's own file.
      EXPECT_EQ(test::Lines(log), std::vector<std::string>{"MsiGetFileVersionA " + (sandbox.system() / "msi.so").string()});
    }
  }
}

TEST(Detection, WmaCodecsByTheVersionNoteOfWmvcore) {
  struct Case {
    const char* what;
    std::string module;  // copied to <system>/wmvcore.so; empty: none
    bool missing;
  } cases[] = {
      {"no wmvcore.so", "", true},
      {"the runtime (11.0.5721.5145)", TONVIK_BINARY_DIR "/src/modules/wmvcore/wmvcore.so", false},
      {"8.0.0", BuildFolder("version_8.0.0") + "module.so", true},
      {"9.0.0.3250", BuildFolder("version_9.0.0.3250") + "module.so", false},
      {"10.0.0.3802", BuildFolder("version_10.0.0.3802") + "module.so", false},
      {"a module without a note", BuildFolder("version_none") + "module.so", true},
      {"not a library", TONVIK_SOURCE_DIR "/tests/install/setup_env.h", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::Sandbox sandbox;
    ScopedEnv version_env("FAKE_MSI_VERSION", "3.1");
    Copy(BuildFolder("msi_full") + "msi.so", sandbox.system() / "msi.so");
    if (!c.module.empty()) Copy(c.module, sandbox.system() / "wmvcore.so");
    EXPECT_EQ(Kinds(DetectPrerequisites({sandbox.root().string()})), c.missing ? "wma " : "");
  }
}

TEST(Detection, LocalCopiesInTheCurrentDirectory) {
  struct Case {
    std::vector<std::string> files;  // in the directory
    std::string msi, wma;            // the local files found (names)
  } cases[] = {
      {{}, "", ""},
      {{"instmsiw"}, "instmsiw", ""},
      {{"wmfdist"}, "", "wmfdist"},
      {{"wmfdist95"}, "", "wmfdist95"},
      {{"wmfdist", "wmfdist95", "instmsiw"}, "instmsiw", "wmfdist95"},  // wmfdist95 replaces wmfdist
      {{"instmsiw.exe", "WMFDIST95", "instmsia"}, "", ""},             // names are exact
      {{"instmsiw/"}, "", ""},                                         // a folder is no installer
  };
  for (const auto& c : cases) {
    test::Sandbox sandbox;
    const path dir = sandbox.root() / "setup";
    test::fs::create_directories(dir);
    std::string trace;
    for (const std::string& f : c.files) {
      trace += f + " ";
      if (f.back() == '/')
        test::fs::create_directories(dir / f);
      else
        test::WriteScript(dir / f, "#!/bin/sh\n");
    }
    SCOPED_TRACE(trace);
    // With and without the final '/'.
    for (const std::string& folder : {dir.string(), dir.string() + "/"}) {
      const std::vector<Prerequisite> found = DetectPrerequisites({folder});
      ASSERT_EQ(found.size(), 2u);
      EXPECT_EQ(found[0].local_file, c.msi.empty() ? "" : (dir / c.msi).string());
      EXPECT_EQ(found[1].local_file, c.wma.empty() ? "" : (dir / c.wma).string());
    }
  }
}

TEST(Detection, LocalCopiesAreLookedForInTheProcessesWorkingDirectory) {
  test::Sandbox sandbox;
  const path dir = sandbox.root() / "setup";
  test::WriteScript(dir / "wmfdist95", "#!/bin/sh\n");
  char saved[4096];
  ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(::chdir(dir.c_str()), 0);
  const std::vector<Prerequisite> found = DetectPrerequisites();
  ASSERT_EQ(::chdir(saved), 0);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].local_file, "");
  EXPECT_EQ(found[1].local_file, (dir / "wmfdist95").string());
}

}  // namespace
}  // namespace tonvik::install
