// The predecessor page over a sandboxed machine hive and real uninstaller
// programs (shell scripts in a temporary folder).
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

#include "install/ui/uninstall_dialog.h"
#include "page_test_support.h"
#include "support/temp_hives.h"

namespace tonvik::install {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::App;
using testing::BoxAnswerer;
using testing::Fonts;
using testing::WaitFor;

class UninstallPageTest : public ::testing::Test {
 protected:
  void SetUp() override { App(); }
  // Registers Brellum with this version and uninstaller.
  void Register(const std::string& version, const fs::path& uninstaller) {
    tonvik::testing::TempHives::WriteFile(
        hives_.machine_hive(),
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Brellum_is1]\n"
        "\"DisplayVersion\"=\"" + version + "\"\n"
        "\"UninstallString\"=\"" + uninstaller.string() + "\"\n");
  }
  fs::path Script(const std::string& name, const std::string& body) {
    const fs::path path = hives_.root() / name;
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all);
    return path;
  }
  template <typename T>
  T* Control(const QWidget& page, const char* id) {
    auto* control = page.findChild<T*>(QString::fromLatin1(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
  }
  int EndedWith(QDialog& page) {
    EXPECT_TRUE(WaitFor([&] { return !page.isVisible(); }));
    return page.result();
  }

  tonvik::testing::TempHives hives_;
};

TEST_F(UninstallPageTest, WithoutThePredecessorThePageIsNeverShown) {
  // Another product's key does not count.
  tonvik::testing::TempHives::WriteFile(
      hives_.machine_hive(),
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other_is1]\n"
      "\"DisplayVersion\"=\"1.0\"\n");
  UninstallDialog page(Fonts());
  bool shown = false;
  QTimer::singleShot(0, [&] { shown = page.isVisible(); });
  EXPECT_EQ(page.exec(), 1);
  QApplication::processEvents();
  EXPECT_FALSE(shown);
  EXPECT_FALSE(page.isVisible());
}

TEST_F(UninstallPageTest, ListsThePredecessorWithItsVersion) {
  Register("1.0", hives_.root() / "unins000");
  UninstallDialog page(Fonts());
  ASSERT_FALSE(page.Open().has_value());
  page.show();
  EXPECT_EQ(page.windowTitle(), QStringLiteral("Tonvik Setup"));
  EXPECT_EQ(page.Title(), QStringLiteral("Prerequisites"));
  EXPECT_EQ(page.Subtitle(), QStringLiteral("This installation replaces older application"));
  EXPECT_EQ(page.BackgroundId(), 209);
  auto* list = Control<QListWidget>(page, "1015");
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("Brellum 1.0"));
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::NoSelection);
  EXPECT_EQ(list->visualItemRect(list->item(0)).height(), 24);
  EXPECT_EQ(list->font(), Fonts().small);
  EXPECT_EQ(Control<QLabel>(page, "1001")->text(),
            QStringLiteral("The following applications are detected in your system. They have to be unistalled "
                           "before installing Tonvik."));
  auto* hint = Control<QLabel>(page, "1016");
  EXPECT_TRUE(hint->isVisible());
  EXPECT_EQ(hint->text(), QStringLiteral("* Click 'Next' to uninstall listed applications"));
  EXPECT_FALSE(Control<QLabel>(page, "1008")->isVisible());
  EXPECT_FALSE(Control<QProgressBar>(page, "1009")->isVisible());
  EXPECT_TRUE(page.nextButton()->isEnabled());
  EXPECT_FALSE(page.backButton()->isEnabled());
}

TEST_F(UninstallPageTest, AnUninstallerThatCannotStartStopsTheSetup) {
  Register("1.0", hives_.root() / "no-such-uninstaller");
  UninstallDialog page(Fonts());
  ASSERT_FALSE(page.Open().has_value());
  page.show();
  BoxAnswerer answerer({QStringLiteral("Close")});
  QTest::mouseClick(page.nextButton(), Qt::LeftButton);
  EXPECT_EQ(EndedWith(page), 2);
  ASSERT_EQ(answerer.seen().size(), 1u);
  const testing::SeenBox& box = answerer.seen()[0];
  EXPECT_EQ(box.title, QStringLiteral("Tonvik"));
  EXPECT_EQ(box.text, QStringLiteral("Installation stopped"));
  EXPECT_EQ(box.informative,
            QStringLiteral("Error. Cannot launch uninstall (No such file or directory). Please remove Brellum "
                           "manually using Add/Remove applet in Control Panel and restart installation."));
  EXPECT_EQ(box.icon, QMessageBox::Critical);
}

TEST_F(UninstallPageTest, RunsTheUninstallerSilentlyAndGoesOnWhenItEnds) {
  const fs::path args = hives_.root() / "args";
  Register("2.5", Script("unins000", "printf '%s\\n' \"$@\" > '" + args.string() + "'\nexit 3\n"));
  UninstallDialog page(Fonts());
  ASSERT_FALSE(page.Open().has_value());
  page.show();
  QTest::mouseClick(page.nextButton(), Qt::LeftButton);
  auto* status = Control<QLabel>(page, "1008");
  if (page.isVisible()) {  // the page may already have seen the script end
    EXPECT_TRUE(status->isVisible());
    EXPECT_FALSE(page.nextButton()->isEnabled());
    EXPECT_FALSE(Control<QListWidget>(page, "1015")->isVisible());
    EXPECT_FALSE(Control<QLabel>(page, "1016")->isVisible());
    EXPECT_FALSE(Control<QLabel>(page, "1001")->isVisible());
  }
  EXPECT_EQ(status->text(), QStringLiteral("Removing Brellum..."));
  EXPECT_EQ(EndedWith(page), 1);  // whatever it answered
  EXPECT_EQ(tonvik::testing::TempHives::ReadFile(args), "/SILENT\n/NORESTART\n");
}

TEST_F(UninstallPageTest, AnUninstallerThatRunsOnDoesNotHoldTheSetupPastTheBound) {
  const fs::path pid_file = hives_.root() / "pid";
  Register("1.0", Script("unins000", "echo $$ > '" + pid_file.string() + "'\nexec sleep infinity\n"));
  UninstallDialog page(Fonts(), 2s);
  ASSERT_FALSE(page.Open().has_value());
  page.show();
  QElapsedTimer waited;
  waited.start();
  QTest::mouseClick(page.nextButton(), Qt::LeftButton);
  const pid_t pid = page.UninstallerPid();
  ASSERT_GT(pid, 0);
  // The page stays responsive meanwhile: a question can be asked and answered.
  BoxAnswerer answerer({QStringLiteral("No")});
  QTest::mouseClick(page.cancelButton(), Qt::LeftButton);
  EXPECT_EQ(answerer.seen().size(), 1u);
  EXPECT_EQ(EndedWith(page), 1);
  EXPECT_GE(waited.elapsed(), 2000);
  // Still running: the setup went on without it.
  EXPECT_EQ(::kill(pid, 0), 0);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

}  // namespace
}  // namespace tonvik::install
