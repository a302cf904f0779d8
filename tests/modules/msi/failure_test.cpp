// Installations that fail: each leaves nothing behind — no file, no temporary,
// no folder, no hive value, no record — and a failed reinstallation leaves the
// earlier installation as it was.
#include <sys/stat.h>

#include "msi_fixture.h"

namespace tonvik::testing {
namespace {

using MsiFailureTest = MsiTest;

// The cabinet inside the package file: its offset and its size from its header.
std::pair<size_t, size_t> FindCabinet(const std::string& bytes) {
  const size_t at = bytes.find("MSCF");
  if (at == std::string::npos || at + 12 > bytes.size()) return {0, 0};
  uint32_t size = 0;
  std::memcpy(&size, bytes.data() + at + 8, 4);
  return {at, size};
}

enum class Damage {
  kTruncated,
  kCabinetByte,
  kCabinetCut,
  kCabinetRewritten,  // the same cabinet put back by msibuild: still intact
  kFileNotInCabinet,
  kFileSize,
  kFileHash,
  kMissing,
  kNotADatabase,
};

// Changes the package with msitools' msibuild.
void MsiBuild(const std::string& package, const std::string& option, const std::string& argument) {
  int status = -1;
  const std::string out = Shell("msibuild '" + package + "' " + option + " " + argument + " 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
}

struct DamageCase {
  const char* name;
  Damage damage;
  uint32_t result;
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class MsiDamagedPackageTest : public MsiTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(MsiDamagedPackageTest, InstallsOnlyIntactPackagesAndLeavesNothingOtherwise) {
  const DamageCase& c = GetParam();
  const std::string package = Build();
  std::string bytes = ReadBytes(package);
  switch (c.damage) {
    case Damage::kTruncated:
      bytes.resize(bytes.size() / 2);
      WriteBytes(package, bytes);
      break;
    case Damage::kCabinetByte: {
      const auto [at, size] = FindCabinet(bytes);
      ASSERT_GT(size, 40000u);  // both payloads, stored (they do not compress)
      ASSERT_LE(at + size, bytes.size());
      bytes[at + size / 2] = static_cast<char>(bytes[at + size / 2] ^ 0x10);
      WriteBytes(package, bytes);
      // The tables are untouched: only the cabinet is damaged.
      MSIHANDLE db = 0;
      ASSERT_EQ(api().OpenDatabaseW(FromUtf8(package).c_str(), MSIDBOPEN_READONLY, &db), ERROR_SUCCESS);
      api().CloseHandle(db);
      break;
    }
    case Damage::kCabinetCut: {
      // The cabinet stream replaced by its first half.
      const auto [at, size] = FindCabinet(bytes);
      ASSERT_LE(at + size, bytes.size());
      const fs::path half = root_ / "pkg/half.cab";
      WriteBytes(half, bytes.substr(at, size / 2));
      MsiBuild(package, "-a", "acme.cab '" + half.string() + "'");
      break;
    }
    case Damage::kCabinetRewritten: {
      const auto [at, size] = FindCabinet(bytes);
      ASSERT_LE(at + size, bytes.size());
      const fs::path whole = root_ / "pkg/whole.cab";
      WriteBytes(whole, bytes.substr(at, size));
      MsiBuild(package, "-a", "acme.cab '" + whole.string() + "'");
      break;
    }
    case Damage::kFileNotInCabinet:
      MsiBuild(package, "-q",
               "\"INSERT INTO \\`File\\` (\\`File\\`, \\`Component_\\`, \\`FileName\\`, "
               "\\`FileSize\\`, \\`Attributes\\`, \\`Sequence\\`) "
               "VALUES ('ghost', 'Main', 'ghost', 10, 512, 2)\"");
      break;
    case Damage::kFileSize:
      MsiBuild(package, "-q", "\"UPDATE \\`File\\` SET \\`FileSize\\`=5 WHERE \\`File\\`='acme.bin'\"");
      break;
    case Damage::kFileHash:
      MsiBuild(package, "-q",
               "\"UPDATE \\`MsiFileHash\\` SET \\`HashPart3\\`=12345 WHERE \\`File_\\`='acme.bin'\"");
      break;
    case Damage::kMissing:
      fs::remove(package);
      break;
    case Damage::kNotADatabase:
      WriteBytes(package, "Windows Registry Editor Version 5.00\n");
      break;
  }
  EXPECT_EQ(Install(package), c.result);
  if (c.result == ERROR_SUCCESS) {
    EXPECT_TRUE(ReadBytes(DataPath()) == data_);
    EXPECT_EQ(State(), INSTALLSTATE_DEFAULT);
  } else {
    ExpectNothingInstalled();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Packages, MsiDamagedPackageTest,
    ::testing::Values(DamageCase{"Truncated", Damage::kTruncated, ERROR_INSTALL_PACKAGE_INVALID},
                      DamageCase{"CabinetByte", Damage::kCabinetByte, ERROR_INSTALL_PACKAGE_INVALID},
                      DamageCase{"CabinetCut", Damage::kCabinetCut, ERROR_INSTALL_PACKAGE_INVALID},
                      DamageCase{"CabinetRewritten", Damage::kCabinetRewritten, ERROR_SUCCESS},
                      DamageCase{"FileNotInCabinet", Damage::kFileNotInCabinet, ERROR_INSTALL_PACKAGE_INVALID},
                      DamageCase{"FileSize", Damage::kFileSize, ERROR_INSTALL_PACKAGE_INVALID},
                      DamageCase{"FileHash", Damage::kFileHash, ERROR_INSTALL_PACKAGE_INVALID},
                      DamageCase{"Missing", Damage::kMissing, ERROR_INSTALL_PACKAGE_OPEN_FAILED},
                      DamageCase{"NotADatabase", Damage::kNotADatabase, ERROR_INSTALL_PACKAGE_INVALID}),
    [](const auto& info) { return std::string(info.param.name); });

// Folders nobody can write, root included: a path whose parent is a regular
// file cannot hold a folder (ENOTDIR), whatever the caller's rights. Mode 0555
// would not stop root, and the tests run as root.
struct BlockedCase {
  const char* name;
  bool programs_blocked;
};

void PrintTo(const BlockedCase& c, std::ostream* os) { *os << c.name; }

class MsiBlockedFolderTest : public MsiTest, public ::testing::WithParamInterface<BlockedCase> {};

TEST_P(MsiBlockedFolderTest, FailsWithInstallFailureAndLeavesNothing) {
  const std::string package = Build();
  WriteBytes(root_ / "plain-file", "not a folder");
  const std::string blocked = (root_ / "plain-file/folder").string();
  if (GetParam().programs_blocked)
    SetFolders(blocked, system_.string(), menu_.string());
  else
    SetFolders(programs_.string(), blocked, menu_.string());

  EXPECT_EQ(Install(package), ERROR_INSTALL_FAILURE);
  ExpectNothingInstalled();
  EXPECT_EQ(ReadBytes(root_ / "plain-file"), "not a folder");
}

INSTANTIATE_TEST_SUITE_P(Folders, MsiBlockedFolderTest,
                         ::testing::Values(BlockedCase{"ProgramFiles", true},
                                           BlockedCase{"SystemModules", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A folder where the second file belongs fails the renames after the first
// file went into place and the hive values were written: all of it is taken
// back.
TEST_F(MsiFailureTest, FailureWhilePlacingTakesBackFilesAndHiveValues) {
  const std::string package = Build();
  fs::create_directories(system_ / "acme.bin");
  const std::string hive_before = ReadBytes(hives_.machine_hive());

  EXPECT_EQ(Install(package), ERROR_INSTALL_FAILURE);

  EXPECT_EQ(Tree(programs_), std::vector<std::string>{});
  EXPECT_EQ(Tree(system_), std::vector<std::string>{"acme.bin"});
  EXPECT_TRUE(fs::is_directory(system_ / "acme.bin"));
  EXPECT_EQ(ReadBytes(hives_.machine_hive()), hive_before);
  EXPECT_EQ(State(), INSTALLSTATE_UNKNOWN);
}

TEST_F(MsiFailureTest, FailedReinstallLeavesTheEarlierInstallation) {
  const std::string package = Build();
  ASSERT_EQ(Install(package), ERROR_SUCCESS);
  WriteBytes(ToolPath(), "the earlier tool");
  fs::remove(DataPath());
  fs::create_directories(DataPath());
  const std::string hive_before = ReadBytes(hives_.machine_hive());

  EXPECT_EQ(Install(package, u"REINSTALL=ALL REINSTALLMODE=vomus"), ERROR_INSTALL_FAILURE);

  EXPECT_EQ(ReadBytes(ToolPath()), "the earlier tool");
  EXPECT_EQ(Tree(programs_), (std::vector<std::string>{"Acme", "Acme/acmetool"}));
  EXPECT_EQ(Tree(system_), std::vector<std::string>{"acme.bin"});
  EXPECT_EQ(ReadBytes(hives_.machine_hive()), hive_before);
  EXPECT_EQ(State(), INSTALLSTATE_DEFAULT);
}

TEST_F(MsiFailureTest, CancelFromTheHandlerTakesEverythingBack) {
  const std::string package = Build();
  for (int cancel_at : {0, 2, 5}) {
    MessageLog log;
    log.cancel_at = cancel_at;
    api().SetExternalUIW(&MessageLog::Handler, kSetupMessageFilter, &log);
    EXPECT_EQ(Install(package), ERROR_INSTALL_USEREXIT) << cancel_at;
    EXPECT_EQ(log.progress_seen, cancel_at + 1);
    ExpectNothingInstalled();
  }
}

// What this engine does not do is refused before anything is written.
struct RefusedCase {
  const char* name;
  PackageParts parts;
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class MsiRefusedPackageTest : public MsiTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(MsiRefusedPackageTest, FailsWithInstallFailureAndLeavesNothing) {
  EXPECT_EQ(Install(Build(GetParam().parts)), ERROR_INSTALL_FAILURE);
  ExpectNothingInstalled();
}

INSTANTIATE_TEST_SUITE_P(
    Packages, MsiRefusedPackageTest,
    ::testing::Values(
        RefusedCase{"DesktopFolder",
                    {"",
                     R"(<Directory Id="DesktopFolder"><Component Id="Desk" Guid="{11111111-2222-3333-4444-999999999999}">)"
                     R"(<RegistryValue Root="HKLM" Key="Software\Acme" Name="Desk" Type="string" Value="x" KeyPath="yes"/>)"
                     R"(</Component></Directory>)",
                     R"(<Feature Id="Desk" Level="1"><ComponentRef Id="Desk"/></Feature>)"}},
        RefusedCase{"FileInTargetDir",
                    {"",
                     R"(<Component Id="Root" Guid="{11111111-2222-3333-4444-aaaaaaaaaaaa}">)"
                     R"(<File Id="rootfile" Name="rootfile" Source="acme.bin" KeyPath="yes"/></Component>)",
                     R"(<Feature Id="Root" Level="1"><ComponentRef Id="Root"/></Feature>)"}},
        RefusedCase{"ValueNamingDesktop",
                    {R"(<RegistryValue Root="HKLM" Key="Software\Acme" Name="D" Type="string" Value="[DesktopFolder]"/>)",
                     R"(<Directory Id="DesktopFolder"/>)", ""}},
        RefusedCase{"ClassesRoot",
                    {R"(<RegistryValue Root="HKCR" Key="AcmeFile" Type="string" Value="Acme"/>)", "", ""}},
        RefusedCase{"CustomAction",
                    {"", "",
                     R"(<CustomAction Id="Run" Property="ACMEVENDOR" Value="x"/>)"
                     R"(<InstallExecuteSequence><Custom Action="Run" After="InstallFiles"/></InstallExecuteSequence>)"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tonvik::testing
