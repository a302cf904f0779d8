// The prerequisites and installation pages with their real collaborators: the
// system's detection, the worker against the loopback host as http_proxy,
// installer processes, and msi.so installing the product's own packages, all
// in a sandbox named by the machine hive.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "install/ui/install_dialog.h"
#include "install/ui/prerequisites_dialog.h"
#include "platform/abandoned_threads.h"
#include "platform/registry.h"
#include "support/loopback_server.h"
#include "support/temp_hives.h"
#include "install/ui/page_test_support.h"
#include "support/no_network.h"

namespace tonvik::install {
namespace {

namespace fs = std::filesystem;
using testing::App;
using testing::BoxAnswerer;
using testing::Control;
using testing::EndedWith;
using testing::Fonts;
using testing::OpenAndShow;
using tonvik::testing::LoopbackServer;
using tonvik::testing::ReadText;
using tonvik::testing::TempHives;

const fs::path kBuild = TONVIK_BINARY_DIR;

// A machine with the folders of the setup inside the sandbox, the setup
// folder as the current directory, and the maker's host on the loopback.
class SandboxedSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    cwd_ = cwd;
    Prepare();
  }
  // A fresh machine: the folders emptied, the hive naming them.
  virtual void Prepare() {
    root_ = hives_.root();
    setup_ = root_ / "setup";
    modules_ = root_ / "modules";
    for (const char* folder : {"setup", "modules", "programs", "menu", "tmp", "ran"}) fs::remove_all(root_ / folder);
    fs::create_directories(setup_);
    fs::create_directories(modules_);
    fs::create_directories(root_ / "tmp");
    TempHives::WriteFile(hives_.machine_hive(),
                         "Windows Registry Editor Version 5.00\n\n"
                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion]\n"
                         "\"ProgramFilesDir\"=\"" + (root_ / "programs").string() + "\"\n"
                         "\"SystemModulesDir\"=\"" + modules_.string() + "\"\n"
                         "\"ProgramMenuDir\"=\"" + (root_ / "menu").string() + "\"\n");
    ASSERT_EQ(chdir(setup_.c_str()), 0);
    setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
    ForgetMsiBinding();  // the engine of this machine's modules folder
  }
  void TearDown() override {
    tonvik::testing::PointProxyNowhere();
    unsetenv("TMPDIR");
    if (!cwd_.empty()) EXPECT_EQ(chdir(cwd_.c_str()), 0);
  }
  // An installer that records its arguments and exits with the code.
  fs::path Installer(const fs::path& path, int exit_code) {
    std::ofstream(path) << "#!/bin/sh\necho \"$@\" >> '" << (root_ / "ran").string() << "'\nexit " << exit_code
                        << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }
  void HostAt(const LoopbackServer& server) { setenv("http_proxy", server.proxy().c_str(), 1); }

  TempHives hives_;
  fs::path root_, setup_, modules_;
  std::string cwd_;
};

using PrerequisitesWithWorker = SandboxedSetup;

TEST_F(PrerequisitesWithWorker, ALocalInstallerRunsAndNothingIsFetched) {
  // The WMA runtime is there (version 11); Windows Installer is not, but its
  // installer lies in the current directory.
  fs::copy_file(kBuild / "src/modules/wmvcore/wmvcore.so", modules_ / "wmvcore.so");
  Installer(setup_ / "instmsiw", 0);
  LoopbackServer host(root_, "* 404\n");
  HostAt(host);

  SetupState state;
  PrerequisitesDialog page(Fonts(), state);
  OpenAndShow(page);
  auto* box = Control<QCheckBox>(page, "1002");
  EXPECT_TRUE(box->isChecked());
  EXPECT_FALSE(box->isEnabled());
  EXPECT_FALSE(Control<QCheckBox>(page, "1003")->isVisible());
  EXPECT_FALSE(Control<QLabel>(page, "1010")->isVisible());  // no download, no note
  page.nextButton()->click();
  EXPECT_EQ(EndedWith(page), 1);
  EXPECT_EQ(ReadText(root_ / "ran"), "/Q:A /R:N\n");
  EXPECT_TRUE(host.Requests().empty());
  EXPECT_FALSE(state.reboot_required);
}

TEST_F(PrerequisitesWithWorker, DownloadsWhatHasNoLocalCopyAndRunsIt) {
  // Both are missing; the WMA codecs are downloaded and ask for a restart
  // (3010 arrives as its low eight bits), Windows Installer is local.
  Installer(setup_ / "instmsiw", 0);
  Installer(root_ / "wmfdist95.served", 3010 & 0xFF);
  LoopbackServer host(root_,
                      "/redist/redist.txt 200 redist.txt\n"
                      "/files/wmfdist95 200 wmfdist95.served\n");
  std::ofstream(root_ / "redist.txt") << "MSIUNICODE=http://www.quellbrook.com/files/instmsiw\r\n"
                                      << "WMFDISTXP=http://www.quellbrook.com/files/wmfdist95\r\n";
  HostAt(host);

  SetupState state;
  PrerequisitesDialog page(Fonts(), state);
  OpenAndShow(page);
  EXPECT_TRUE(Control<QCheckBox>(page, "1003")->isChecked());
  EXPECT_TRUE(Control<QLabel>(page, "1010")->isVisible());
  page.nextButton()->click();
  EXPECT_EQ(EndedWith(page), 1);
  EXPECT_EQ(ReadText(root_ / "ran"), "/Q:A /R:N\n/Q:A /R:N\n");
  EXPECT_TRUE(state.reboot_required);
  EXPECT_TRUE(fs::is_empty(root_ / "tmp"));  // the download is gone again
  bool fetched_list = false;
  for (const std::string& line : host.Requests()) fetched_list |= line.find("/redist/redist.txt") != line.npos;
  EXPECT_TRUE(fetched_list);
}

class InstallWithEngine : public SandboxedSetup {
 protected:
  void Prepare() override {
    SandboxedSetup::Prepare();
    fs::copy_file(kBuild / "src/modules/msi/msi.so", modules_ / "msi.so");
    for (const char* package : {"pellorin.msi", "kestrane.msi"})
      fs::copy_file(kBuild / "setup" / package, setup_ / package);
  }
  // The installation page of a setup program in the setup folder; the error
  // boxes it showed are answered with OK.
  int RunPage(bool wow64) {
    InstallState state;
    InstallStarter start = [this, wow64](InstallView& view, InstallState& s) {
      auto worker = std::make_shared<InstallWorker>(view, s, InstallOptions{(setup_ / "install").string(), wow64});
      worker->Start();
      return std::shared_ptr<PageWorker>(worker);
    };
    InstallDialog page(Fonts(), state, start);
    BoxAnswerer answerer({QStringLiteral("OK")});
    OpenAndShow(page);
    const int result = EndedWith(page);
    steps_ = page.ProgressSteps();
    marquee_ = page.progressBar()->minimum() == 0 && page.progressBar()->maximum() == 0;
    boxes_.clear();
    for (const auto& box : answerer.seen()) boxes_.push_back(box.text.toStdString());
    return result;
  }
  fs::path Installed(const std::string& name) const { return root_ / "programs/Tonvik" / name; }
  static bool Recorded(const char16_t* product) {
    return reg::Key::Open(reg::Root::LocalMachine,
                          std::u16string(u"SOFTWARE\\Quellbrook\\Installer\\Products\\") + product)
        .has_value();
  }

  int steps_ = 0;
  bool marquee_ = false;
  std::vector<std::string> boxes_;
};

constexpr char16_t kPellorin[] = u"{0C845580-5EF0-49C6-984A-F05E9515B427}";
constexpr char16_t kKestrane[] = u"{92A0C06D-6087-4F6E-9A26-66FC6AD4ACBA}";

TEST_F(InstallWithEngine, InstallsBothPackagesOnA64BitSystemThenReinstalls) {
  ASSERT_EQ(RunPage(/*wow64=*/true), 1) << (boxes_.empty() ? "" : boxes_[0]);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_GT(steps_, 0);  // progress messages reached the page
  EXPECT_TRUE(marquee_);  // and left the bar a marquee to the end
  EXPECT_EQ(ReadText(Installed("vandral")), ReadText(kBuild / "src/vandral/vandral"));
  EXPECT_TRUE(fs::exists(Installed("x64/lame_enc.so")));
  EXPECT_TRUE(Recorded(kPellorin));
  EXPECT_TRUE(Recorded(kKestrane));
  std::vector<uint8_t> app_path;
  ASSERT_TRUE(reg::Key::Open(reg::Root::LocalMachine, u"Software\\Quellbrook\\vandral")
                  ->Query(u"AppPath", nullptr, &app_path));
  EXPECT_EQ(app_path.size(), 2 * (Installed("").string().size() + 1));

  // The same version again: a reinstall, which puts back what the user broke.
  const std::string guide = ReadText(Installed("pellorin.html"));
  std::ofstream(Installed("pellorin.html"), std::ios::app) << "changed";
  fs::remove(Installed("tutorial"));
  ASSERT_EQ(RunPage(/*wow64=*/false), 1);
  EXPECT_EQ(ReadText(Installed("pellorin.html")), guide);
  EXPECT_TRUE(fs::exists(Installed("tutorial")));
}

TEST_F(InstallWithEngine, AFailedPackageStopsTheNextAndIsReported) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& setup)> damage;
    bool pellorin_recorded;
  } cases[] = {
      {"pellorin.msi missing", [](const fs::path& d) { fs::remove(d / "pellorin.msi"); }, false},
      {"pellorin.msi cut short", [](const fs::path& d) { fs::resize_file(d / "pellorin.msi", 100000); }, false},
      {"kestrane.msi missing", [](const fs::path& d) { fs::remove(d / "kestrane.msi"); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Prepare();
    c.damage(setup_);
    EXPECT_EQ(RunPage(/*wow64=*/true), 2);
    EXPECT_EQ(boxes_, std::vector<std::string>{"Failed to install. Installation aborted."});
    EXPECT_EQ(Recorded(kPellorin), c.pellorin_recorded);
    EXPECT_FALSE(Recorded(kKestrane));
    EXPECT_EQ(fs::exists(Installed("vandral")), c.pellorin_recorded);
  }
}

// Packages one byte away from a valid one that make libmsi crash, opening
// the database or parsing a query: msi.so reads them in a child process, so
// the setup lives on and reports them as any failed package.
TEST_F(InstallWithEngine, APackageThatCrashesLibmsiIsReportedLikeAnyFailure) {
  const fs::path hostile = fs::path(TONVIK_SOURCE_DIR) / "../shared/fixtures/hostile";
  if (!fs::is_directory(hostile)) GTEST_SKIP() << "no shared hostile fixtures beside the repository";
  struct Case {
    const char* package;
    const char* fixture;
    bool pellorin_recorded;
  } cases[] = {
      {"pellorin.msi", "msi-libmsi-null-deref.msi", false},
      {"kestrane.msi", "msi-libmsi-media-query-null-deref.msi", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.package) + " is " + c.fixture);
    Prepare();
    fs::copy_file(hostile / c.fixture, setup_ / c.package, fs::copy_options::overwrite_existing);
    EXPECT_EQ(RunPage(/*wow64=*/true), 2);
    EXPECT_EQ(boxes_, std::vector<std::string>{"Failed to install. Installation aborted."});
    EXPECT_EQ(Recorded(kPellorin), c.pellorin_recorded);
    EXPECT_FALSE(Recorded(kKestrane));
    EXPECT_EQ(fs::exists(Installed("vandral")), c.pellorin_recorded);
  }
}


// The installation page closed while the engine is inside the first package:
// the stand-in msi.so (fake_msi.cpp) holds there until the test lets it go.
class InstallClosedWhileTheEngineWorks : public SandboxedSetup {
 protected:
  void Prepare() override {
    SandboxedSetup::Prepare();
    fs::copy_file(kBuild / "tests/install/msi_full/msi.so", modules_ / "msi.so");
    std::ofstream(setup_ / "pellorin.msi") << "{0C845580-5EF0-49C6-984A-F05E9515B427}\n";
    std::ofstream(setup_ / "kestrane.msi") << "{92A0C06D-6087-4F6E-9A26-66FC6AD4ACBA}\n";
    fs::remove(release());
    fs::remove(log());
    setenv("FAKE_MSI_LOG", log().c_str(), 1);
    setenv("FAKE_MSI_HOLD", release().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("FAKE_MSI_LOG");
    unsetenv("FAKE_MSI_HOLD");
    unsetenv("FAKE_MSI_DEAF");
    SandboxedSetup::TearDown();
  }
  fs::path log() const { return root_ / "msi.log"; }
  fs::path release() const { return root_ / "release"; }
  bool Logged(const std::string& line) const {
    std::istringstream in(ReadText(log()));
    for (std::string l; std::getline(in, l);)
      if (l.rfind(line, 0) == 0) return true;
    return false;
  }
};

TEST_F(InstallClosedWhileTheEngineWorks, ThePageAsksTheWorkerToStopAndIsNotHeldByIt) {
  struct Case {
    const char* what;
    bool deaf;  // the engine does not stop when asked
  } cases[] = {
      {"the engine cancels the installation when asked", false},
      {"the engine cannot be interrupted", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Prepare();
    if (c.deaf)
      setenv("FAKE_MSI_DEAF", "1", 1);
    else
      unsetenv("FAKE_MSI_DEAF");
    InstallState state;
    InstallStarter start = [this](InstallView& view, InstallState& s) {
      auto worker = std::make_shared<InstallWorker>(view, s, InstallOptions{(setup_ / "install").string(), true});
      worker->Start();
      return std::shared_ptr<PageWorker>(worker);
    };
    auto page = std::make_unique<InstallDialog>(Fonts(), state, start);
    OpenAndShow(*page);
    ASSERT_TRUE(testing::WaitFor([&] { return Logged("holding"); }));

    page.reset();  // returns, although the engine may never be let go
    if (c.deaf) {
      // The worker was asked to stop (the engine heard IDCANCEL and held on)
      // and, still inside the engine, was left to end on its own.
      EXPECT_TRUE(testing::WaitFor([&] { return Logged("cancel ignored"); }));
      EXPECT_FALSE(Logged("released"));
      EXPECT_TRUE(AbandonedThreadsAlive());
      std::ofstream(release()) << "";
    } else {
      EXPECT_TRUE(testing::WaitFor([&] { return Logged("canceled"); }));
    }
    EXPECT_TRUE(testing::WaitFor([] { return !AbandonedThreadsAlive(); }));
    // Stopped, the worker starts no further package; cut off from the page,
    // it leaves the page's state as it was.
    EXPECT_FALSE(Logged("MsiInstallProductW " + (setup_ / "kestrane.msi").string()));
    if (c.deaf) {
      EXPECT_FALSE(state.error);
    }
  }
}

// The prerequisites page closed while its worker works. Both components are
// missing and downloaded from the loopback host, Windows Installer's first;
// its installer, when it gets to run, holds until the test lets it go through
// a FIFO, paying no heed to the page.
class PrerequisitesClosedWhileTheWorkerWorks : public SandboxedSetup {
 protected:
  void Prepare() override {
    SandboxedSetup::Prepare();
    for (const char* file : {"release", "gate", "redist.txt"}) fs::remove(root_ / file);
    ASSERT_EQ(::mkfifo(release().c_str(), 0600), 0);
    std::ofstream(root_ / "redist.txt") << "MSIUNICODE=http://www.quellbrook.com/files/instmsiw\r\n"
                                        << "WMFDISTXP=http://www.quellbrook.com/files/wmfdist95\r\n";
    std::ofstream(root_ / "held.served") << "#!/bin/sh\necho \"held $@\" >> '" << (root_ / "ran").string()
                                         << "'\nread go < '" << release().string() << "'\nexit "
                                         << (3010 & 0xFF) << "\n";
    fs::permissions(root_ / "held.served", fs::perms::owner_all);
    Installer(root_ / "quick.served", 0);
  }
  void TearDown() override {
    // An installer still held by a failed case is let go, not left behind.
    if (const int fd = ::open(release().c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) {
      (void)!::write(fd, "\n", 1);
      ::close(fd);
    }
    SandboxedSetup::TearDown();
  }
  fs::path release() const { return root_ / "release"; }
  // Blocks until the held installer has the FIFO open, then lets it end.
  void Release() const { std::ofstream(release()) << "\n"; }
  std::vector<std::string> Ran() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadText(root_ / "ran"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  size_t DownloadsLeft() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(root_ / "tmp"), fs::directory_iterator()));
  }
};

TEST_F(PrerequisitesClosedWhileTheWorkerWorks, ThePageAsksTheWorkerToStopAndIsNotHeldByIt) {
  struct Case {
    const char* what;
    const char* first_download;  // the host's route for Windows Installer's installer
    bool installer_runs;         // the page is closed while that installer runs, else during its download
  } cases[] = {
      {"the host holds the download", "/files/instmsiw gate gate held.served\n", false},
      {"an installer runs on", "/files/instmsiw 200 held.served\n", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Prepare();
    LoopbackServer host(root_, std::string("/redist/redist.txt 200 redist.txt\n") + c.first_download +
                                   "/files/wmfdist95 200 quick.served\n");
    HostAt(host);
    SetupState state;
    auto page = std::make_unique<PrerequisitesDialog>(Fonts(), state);
    OpenAndShow(*page);
    ASSERT_EQ(page->Components().size(), 2u);
    page->nextButton()->click();
    if (c.installer_runs) {
      // Both downloads are in, and the first installer has started.
      ASSERT_TRUE(testing::WaitFor([&] { return Ran() == std::vector<std::string>{"held /Q:A /R:N"}; }));
      EXPECT_EQ(DownloadsLeft(), 2u);
    } else {
      ASSERT_TRUE(testing::WaitFor([&] {
        for (const std::string& line : host.Requests())
          if (line.rfind("http://www.quellbrook.com/files/instmsiw\t", 0) == 0) return true;
        return false;
      }));
      EXPECT_EQ(DownloadsLeft(), 1u);  // the file the held answer is to go into
    }

    page.reset();  // returns, although the installer may never end
    if (c.installer_runs) {
      // Still waiting for the installer, the worker was let go: it keeps its
      // downloads until it ends, and has not touched the state.
      EXPECT_TRUE(AbandonedThreadsAlive());
      EXPECT_EQ(DownloadsLeft(), 2u);
      Release();
    }
    // The download aborted or the installer done, the worker ends and
    // removes its downloads; asked to stop, it starts no further installer.
    EXPECT_TRUE(testing::WaitFor([] { return !AbandonedThreadsAlive(); }));
    EXPECT_EQ(DownloadsLeft(), 0u);
    EXPECT_EQ(Ran(), c.installer_runs ? std::vector<std::string>{"held /Q:A /R:N"} : std::vector<std::string>{});
    if (c.installer_runs) {
      // Cut off from the page, it left the state as it was: neither the
      // installer's restart request nor the cancellation reached it.
      EXPECT_FALSE(state.reboot_required);
      EXPECT_FALSE(state.error);
    } else if (state.error) {
      // A download ends at libcurl's next call, which may have come in time
      // for the page to hear of it.
      EXPECT_EQ(state.error_text, u"Installation canceled.");
    }
  }
}

}  // namespace
}  // namespace tonvik::install
