// The end of the setup: the reboot offer asks logind on the system bus, here a
// private dbus-daemon with fake_login1 on it, and the tutorial starts from
// AppPath. No test of this file may ever reach the machine's own system bus:
// the bus is set before any test runs and every test checks it first.
#include <gtest/gtest.h>

#include <QProcess>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "install/ui/setup_finish.h"
#include "page_test_support.h"
#include "support/temp_hives.h"

namespace tonvik::install {
namespace {

namespace fs = std::filesystem;
using testing::App;
using testing::BoxAnswerer;
using testing::WaitFor;

// A private bus shaped like the system bus for the whole suite, named by
// DBUS_SYSTEM_BUS_ADDRESS before anything asks for the system bus.
class SetupFinishTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    App();
    char tmpl[] = "/tmp/tonvik-bus-XXXXXX";
    dir_ = new fs::path(::mkdtemp(tmpl));
    daemon_ = new QProcess;
    daemon_->setProgram(QStringLiteral("dbus-daemon"));
    daemon_->setArguments({QStringLiteral("--config-file=" PRIVATE_BUS_CONFIG),
                           QStringLiteral("--address=unix:path=%1/system_bus_socket")
                               .arg(QString::fromStdString(dir_->string())),
                           QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    daemon_->setProcessChannelMode(QProcess::SeparateChannels);
    daemon_->start();
    std::string address;
    if (daemon_->waitForStarted() && daemon_->waitForReadyRead(20000))
      address = daemon_->readLine().trimmed().toStdString();
    if (address.empty() || address.find(dir_->string()) == std::string::npos) {
      std::fprintf(stderr, "the private bus did not start (%s)\n", address.c_str());
      std::abort();
    }
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
  }
  static void TearDownTestSuite() {
    daemon_->kill();
    daemon_->waitForFinished();
    delete daemon_;
    std::error_code ec;
    fs::remove_all(*dir_, ec);
    delete dir_;
  }

  void SetUp() override {
    // The guard: the reboot below must only ever reach the private bus.
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (!address || std::string(address).find(dir_->string()) == std::string::npos) {
      std::fprintf(stderr, "DBUS_SYSTEM_BUS_ADDRESS does not name the private bus: refusing to go on\n");
      std::abort();
    }
    log_ = *dir_ / ("reboot-" + std::to_string(++runs_) + ".log");
  }
  void TearDown() override { StopLogind(); }

  void StartLogind() {
    fake_.setProgram(QStringLiteral(FAKE_LOGIN1));
    fake_.setArguments({QString::fromLocal8Bit(std::getenv("DBUS_SYSTEM_BUS_ADDRESS")),
                        QString::fromStdString(log_.string())});
    fake_.start();
    ASSERT_TRUE(fake_.waitForStarted());
    ASSERT_TRUE(fake_.waitForReadyRead(20000));
    ASSERT_EQ(fake_.readLine().trimmed(), QByteArray("ready"));
  }
  void StopLogind() {
    if (fake_.state() == QProcess::NotRunning) return;
    fake_.kill();
    fake_.waitForFinished();
  }

  static fs::path* dir_;
  static QProcess* daemon_;
  static int runs_;
  fs::path log_;
  QProcess fake_;
};

fs::path* SetupFinishTest::dir_ = nullptr;
QProcess* SetupFinishTest::daemon_ = nullptr;
int SetupFinishTest::runs_ = 0;

TEST_F(SetupFinishTest, TheRebootOfferAsksLogindOnlyOnRebootNow) {
  struct Case {
    const char* name;
    bool logind;
    const char* answer;
    const char* logged;
    bool failure_box;
  };
  const Case cases[] = {
      {"reboot now", true, "Reboot now", "Reboot false\n", false},
      {"reboot later", true, "Reboot later", "", false},
      {"no logind on the bus", false, "Reboot now", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    if (c.logind) StartLogind();
    std::vector<QString> answers{QString::fromLatin1(c.answer)};
    if (c.failure_box) answers.push_back(QStringLiteral("OK"));
    BoxAnswerer answerer(answers);
    FinishSetup(/*reboot_required=*/true);
    ASSERT_TRUE(answerer.Done());
    const testing::SeenBox& offer = answerer.seen()[0];
    EXPECT_EQ(offer.title, QStringLiteral("Tonvik Setup"));
    EXPECT_EQ(offer.text, QStringLiteral("Reboot Windows"));
    EXPECT_EQ(offer.informative, QStringLiteral("To complete installation system restart is required."));
    EXPECT_EQ(offer.icon, QMessageBox::Information);
    EXPECT_EQ(offer.buttons, (QStringList{QStringLiteral("Reboot now"), QStringLiteral("Reboot later")}));
    EXPECT_EQ(offer.default_button, QStringLiteral("Reboot now"));
    ASSERT_EQ(answerer.seen().size(), c.failure_box ? 2u : 1u);
    if (c.failure_box) {
      const testing::SeenBox& failure = answerer.seen()[1];
      EXPECT_EQ(failure.title, QStringLiteral("Tonvik Setup"));
      EXPECT_EQ(failure.text, QStringLiteral("Unable to reboot. Please restart system manually."));
      EXPECT_EQ(failure.icon, QMessageBox::Critical);
    }
    StopLogind();
    EXPECT_EQ(tonvik::testing::TempHives::ReadFile(log_), c.logged);
  }
}

TEST_F(SetupFinishTest, WithoutARebootTheTutorialStartsFromAppPath) {
  for (bool slash : {true, false}) {
    SCOPED_TRACE(slash);
    tonvik::testing::TempHives hives;
    const fs::path app = hives.root() / "app";
    fs::create_directories(app);
    const fs::path started = hives.root() / "started";
    {
      std::ofstream script(app / "tutorial");
      script << "#!/bin/sh\necho started > '" << started.string() << "'\n";
    }
    fs::permissions(app / "tutorial", fs::perms::owner_all);
    hives.Install(app.string() + (slash ? "/" : ""));
    EXPECT_EQ(TutorialPath(), (app / "tutorial").u16string());
    BoxAnswerer answerer({});
    FinishSetup(/*reboot_required=*/false);
    EXPECT_TRUE(WaitFor([&] { return tonvik::testing::TempHives::ReadFile(started) == "started\n"; }));
    EXPECT_TRUE(answerer.seen().empty());
    EXPECT_EQ(tonvik::testing::TempHives::ReadFile(log_), "");
  }
}

}  // namespace
}  // namespace tonvik::install
