// Installations that succeed: the files' bytes and modes, the hive values with
// their formatted text, the product record and state, reinstalling over a
// changed installation, command-line properties, progress messages and
// desktop entries for shortcuts.
#include "msi_fixture.h"

namespace tonvik::testing {
namespace {

using MsiInstallTest = MsiTest;

TEST_F(MsiInstallTest, PlacesTheFilesAndHiveValuesAndRecordsTheProduct) {
  const std::string package = Build();
  EXPECT_EQ(State(), INSTALLSTATE_UNKNOWN);

  // Modes do not depend on the installer's umask.
  const mode_t umask_before = ::umask(077);
  const uint32_t rc = Install(package);
  ::umask(umask_before);
  ASSERT_EQ(rc, ERROR_SUCCESS);

  EXPECT_TRUE(ReadBytes(ToolPath()) == tool_);
  EXPECT_TRUE(ReadBytes(DataPath()) == data_);
  EXPECT_EQ(fs::status(ToolPath()).permissions() & fs::perms::all, fs::perms(0755));
  EXPECT_EQ(fs::status(DataPath()).permissions() & fs::perms::all, fs::perms(0644));
  EXPECT_EQ(fs::status(programs_ / "Acme").permissions() & fs::perms::all, fs::perms(0755));
  EXPECT_EQ(Tree(programs_), (std::vector<std::string>{"Acme", "Acme/acmetool"}));
  EXPECT_EQ(Tree(system_), std::vector<std::string>{"acme.bin"});

  EXPECT_EQ(AcmeValue(u"AppPath"), programs_.string() + "/Acme/");
  EXPECT_EQ(AcmeValue(u"Tool"), ToolPath());
  EXPECT_EQ(AcmeValue(u"Vendor"), "Acme");
  EXPECT_EQ(AcmeValue(u"Scope"), "machine");  // per-machine or per-user: the machine here
  EXPECT_EQ(HiveString(reg::Root::CurrentUser, u"Software\\Acme", u"User"), "Acme Tools");
  uint32_t type = 0;
  std::vector<uint8_t> data;
  ASSERT_TRUE(reg::Key::Open(reg::Root::LocalMachine, u"Software\\Acme")->Query(u"Count", &type, &data));
  EXPECT_EQ(type, reg::kDword);
  EXPECT_EQ(data, (std::vector<uint8_t>{7, 0, 0, 0}));

  const std::u16string record = u"SOFTWARE\\Quellbrook\\Installer\\Products\\" + FromUtf8(kProductCode);
  EXPECT_EQ(HiveString(reg::Root::LocalMachine, record, u"ProductName"), "Acme Tools");
  EXPECT_EQ(HiveString(reg::Root::LocalMachine, record, u"Version"), "1.2.3");
  EXPECT_EQ(HiveString(reg::Root::LocalMachine, record + u"\\Files", u"acmetool"), ToolPath());
  EXPECT_EQ(HiveString(reg::Root::LocalMachine, record + u"\\Files", u"acme.bin"), DataPath());
  EXPECT_EQ(State(), INSTALLSTATE_DEFAULT);
  // Product codes compare without case.
  std::string lower = kProductCode;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(State(lower), INSTALLSTATE_DEFAULT);
}

TEST_F(MsiInstallTest, ReinstallPutsBackChangedFilesAndValues) {
  const std::string package = Build();
  ASSERT_EQ(Install(package), ERROR_SUCCESS);
  WriteBytes(ToolPath(), "damaged");
  WriteBytes(DataPath(), "");
  reg::Key::Open(reg::Root::LocalMachine, u"Software\\Acme")->SetString(u"AppPath", u"/elsewhere/");

  ASSERT_EQ(Install(package, u"REINSTALL=ALL REINSTALLMODE=vomus"), ERROR_SUCCESS);

  EXPECT_TRUE(ReadBytes(ToolPath()) == tool_);
  EXPECT_TRUE(ReadBytes(DataPath()) == data_);
  EXPECT_EQ(AcmeValue(u"AppPath"), programs_.string() + "/Acme/");
  EXPECT_EQ(Tree(programs_), (std::vector<std::string>{"Acme", "Acme/acmetool"}));
  EXPECT_EQ(Tree(system_), std::vector<std::string>{"acme.bin"});
  EXPECT_EQ(State(), INSTALLSTATE_DEFAULT);
}

struct CommandLineCase {
  const char16_t* line;
  uint32_t result;
  const char* vendor;  // the formatted [ACMEVENDOR] after a success
};

void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << ToUtf8(c.line); }

class MsiCommandLineTest : public MsiTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(MsiCommandLineTest, SetsPropertiesOrRefusesTheLine) {
  const CommandLineCase& c = GetParam();
  const std::string package = Build();
  EXPECT_EQ(Install(package, c.line), c.result);
  if (c.result == ERROR_SUCCESS) {
    EXPECT_EQ(AcmeValue(u"Vendor"), c.vendor);
    // Folders stay where the machine hive maps them, whatever the line says.
    EXPECT_TRUE(ReadBytes(ToolPath()) == tool_);
    EXPECT_EQ(AcmeValue(u"AppPath"), programs_.string() + "/Acme/");
    EXPECT_EQ(State(), INSTALLSTATE_DEFAULT);
  } else {
    ExpectNothingInstalled();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MsiCommandLineTest,
    ::testing::Values(CommandLineCase{u"", ERROR_SUCCESS, "Acme"},
                      CommandLineCase{u"REINSTALL=ALL REINSTALLMODE=vomus", ERROR_SUCCESS, "Acme"},
                      CommandLineCase{u"ACMEVENDOR=Quellbrook", ERROR_SUCCESS, "Quellbrook"},
                      CommandLineCase{u"  ACMEVENDOR=\"Acme \"\"Best\"\" Tools\"  ", ERROR_SUCCESS,
                                      "Acme \"Best\" Tools"},
                      CommandLineCase{u"ACMEVENDOR=", ERROR_SUCCESS, ""},
                      CommandLineCase{u"INSTALLDIR=/elsewhere/ ACMEVENDOR=[x]", ERROR_SUCCESS, "[x]"},
                      CommandLineCase{u"REINSTALL", ERROR_INVALID_COMMAND_LINE, nullptr},
                      CommandLineCase{u"ACMEVENDOR=\"open", ERROR_INVALID_COMMAND_LINE, nullptr},
                      CommandLineCase{u"=x", ERROR_INVALID_COMMAND_LINE, nullptr},
                      CommandLineCase{u"/quiet", ERROR_INVALID_COMMAND_LINE, nullptr},
                      CommandLineCase{u"REMOVE=ALL", ERROR_INSTALL_FAILURE, nullptr}));

TEST_F(MsiInstallTest, ReportsProgressToTheExternalHandler) {
  const std::string package = Build();
  MessageLog log;
  EXPECT_EQ(api().SetExternalUIW(&MessageLog::Handler, kSetupMessageFilter, &log), nullptr);
  api().SetInternalUI(INSTALLUILEVEL_DEFAULT, nullptr);
  EXPECT_EQ(api().SetInternalUI(INSTALLUILEVEL_NONE, nullptr), INSTALLUILEVEL_DEFAULT);

  ASSERT_EQ(Install(package), ERROR_SUCCESS);

  const std::vector<std::string> progress = log.Of(INSTALLMESSAGE_PROGRESS);
  // A reset naming the total, then one step per file and registry row at least.
  ASSERT_GE(progress.size(), 1u + 2 + 6);
  EXPECT_EQ(progress[0].rfind("1: 0 2: ", 0), 0u) << progress[0];
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_EQ(progress[i], "1: 2 2: 1 3: 0 4: 0");
  const std::vector<std::string> actions = log.Of(INSTALLMESSAGE_ACTIONSTART);
  ASSERT_FALSE(actions.empty());
  EXPECT_NE(actions[0].find("InstallFiles"), std::string::npos) << actions[0];

  // The handler goes back out; the next installation sends it nothing, and a
  // filter without the progress bit keeps progress away.
  EXPECT_EQ(api().SetExternalUIW(nullptr, 0, nullptr), &MessageLog::Handler);
  log.messages.clear();
  ASSERT_EQ(Install(package), ERROR_SUCCESS);
  EXPECT_TRUE(log.messages.empty());
  api().SetExternalUIW(&MessageLog::Handler, kSetupMessageFilter & ~(1u << 10), &log);
  ASSERT_EQ(Install(package), ERROR_SUCCESS);
  EXPECT_TRUE(log.Of(INSTALLMESSAGE_PROGRESS).empty());
  EXPECT_FALSE(log.Of(INSTALLMESSAGE_ACTIONSTART).empty());
  EXPECT_EQ(api().SetInternalUI(INSTALLUILEVEL_NOCHANGE, nullptr), INSTALLUILEVEL_NONE);
  EXPECT_EQ(api().SetInternalUI(6, nullptr), INSTALLUILEVEL_NOCHANGE);
}

TEST_F(MsiInstallTest, ShortcutsBecomeDesktopEntriesInTheProgramMenu) {
  PackageParts parts;
  parts.main_component =
      R"(<Shortcut Id="sc" Directory="ProgramMenuFolder" Name="Acme Tool" Target="[#acmetool]" )"
      R"(Arguments="--start" Description="Starts the tool"/>)";
  parts.directories = R"(<Directory Id="ProgramMenuFolder"/>)";
  ASSERT_EQ(Install(Build(parts)), ERROR_SUCCESS);
  EXPECT_EQ(ReadBytes(menu_ / "Acme Tool.desktop"),
            "[Desktop Entry]\nType=Application\nName=Acme Tool\nComment=Starts the tool\nExec=" +
                ToolPath() + " --start\nIcon=acmetool\n");
  // A picture named after the program beside it is the entry's icon.
  WriteBytes(root_ / "pkg/acmetool.png", "picture");
  parts.main_component += R"(<File Id="acmeicon" Name="acmetool.png" Source="acmetool.png"/>)";
  ASSERT_EQ(Install(Build(parts)), ERROR_SUCCESS);
  const std::string entry = ReadBytes(menu_ / "Acme Tool.desktop");
  EXPECT_NE(entry.find("\nIcon=" + ToolPath() + ".png\n"), std::string::npos) << entry;
  EXPECT_EQ(HiveString(reg::Root::LocalMachine,
                       u"SOFTWARE\\Quellbrook\\Installer\\Products\\" + FromUtf8(kProductCode) + u"\\Shortcuts",
                       u"sc"),
            (menu_ / "Acme Tool.desktop").string());
}

// A target whose path needs quoting and escaping on the Exec line, in the 64-bit program
// files folder (the same folder here).
TEST_F(MsiInstallTest, ShortcutTargetsWithBlanksAndPercentSignsAreQuoted) {
  PackageParts parts;
  parts.directories = R"(<Directory Id="ProgramMenuFolder"><Directory Id="MenuSub" Name="Acme Menu"/></Directory>
      <Directory Id="ProgramFiles64Folder"><Directory Id="ODD" Name="Odd's 100% dir">
        <Component Id="Odd" Guid="{11111111-2222-3333-4444-bbbbbbbbbbbb}">
          <File Id="odd" Name="run me" Source="acmetool" KeyPath="yes">
            <Shortcut Id="oddsc" Directory="MenuSub" Name="Odd" Target="[#odd]"/>
          </File>
        </Component></Directory></Directory>)";
  parts.product = R"(<Feature Id="Odd" Level="1"><ComponentRef Id="Odd"/></Feature>)";
  ASSERT_EQ(Install(Build(parts)), ERROR_SUCCESS);
  const std::string odd = programs_.string() + "/Odd's 100% dir/run me";
  EXPECT_TRUE(ReadBytes(odd) == tool_);
  EXPECT_EQ(ReadBytes(menu_ / "Acme Menu/Odd.desktop"),
            "[Desktop Entry]\nType=Application\nName=Odd\nExec=\"" + programs_.string() +
                "/Odd's 100%% dir/run me\"\nIcon=run me\n");
}

}  // namespace
}  // namespace tonvik::testing
