// The end of the program with a thread left behind: the probe (exit_probe.cpp)
// gives up a lookup whose service never answers, or cancels a rip whose
// reader waits on a drive that never answers, and ends as vandral does. It
// must end with its own code, having taken the path for abandoned threads,
// and without a word from the sanitizers it may be built with.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disc_image.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/loopback_server.h"
#include "support/temp_hives.h"
#include "support/no_network.h"

extern char** environ;

namespace tonvik {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;     // the wait status
  std::string output;  // standard output and error together
};

Outcome RunProbe(const std::vector<std::string>& arguments, const fs::path& log) {
  std::vector<std::string> args = {TONVIK_BINARY_DIR "/tests/rip/exit_probe"};
  args.insert(args.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  Outcome outcome;
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return outcome;
  ::waitpid(pid, &outcome.status, 0);
  outcome.output = testing::TempHives::ReadFile(log);
  return outcome;
}

void ExpectCleanEnd(const Outcome& outcome, int code) {
  ASSERT_TRUE(WIFEXITED(outcome.status)) << outcome.status << "\n" << outcome.output;
  EXPECT_EQ(WEXITSTATUS(outcome.status), code) << outcome.output;
  EXPECT_NE(outcome.output.find("abandoned\n"), std::string::npos) << outcome.output;
  for (const char* report : {"ThreadSanitizer", "AddressSanitizer", "runtime error", "LeakSanitizer"})
    EXPECT_EQ(outcome.output.find(report), std::string::npos) << outcome.output;
}

class ExitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hives_.Install((hives_.root() / "app").string() + "/");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  void TearDown() override {
    tonvik::testing::PointProxyNowhere();
    ::unsetenv("TONVIK_FAULTS");
  }
  testing::TempHives hives_;
};

// Each case through the dialogs, and bare (the same owners without windows,
// which is what runs under ThreadSanitizer: Qt is not built with it).
class ExitCase : public ExitTest, public ::testing::WithParamInterface<bool> {
 protected:
  std::string Mode(const char* mode) const { return GetParam() ? std::string("bare-") + mode : mode; }
};

TEST_P(ExitCase, ALookupGivenUpWhileTheServiceNeverAnswers) {
  // Every request is read and never answered; the connection stays open.
  testing::LoopbackServer server(hives_.root(), "* hang\n");
  ASSERT_NE(server.port(), 0);
  ::setenv("http_proxy", server.proxy().c_str(), 1);
  ExpectCleanEnd(RunProbe({Mode("lookup")}, hives_.root() / "probe.log"), 7);
  EXPECT_FALSE(server.Requests().empty());  // the lookup did reach the service
}

TEST_P(ExitCase, ARipCancelledWhileItsReaderWaitsOnTheDrive) {
  const fs::path cue = hives_.root() / "disc" / "disc.cue";
  fs::create_directories(cue.parent_path());
  std::string error;
  ASSERT_TRUE(discimage::WriteDiscImage(
      cue.string(), {{discimage::ImageTrack::Audio, 75 * 4, discimage::ImageTrack::Music}}, false, &error))
      << error;
  // Every read of the disc waits for a file that never comes.
  const fs::path faults = hives_.root() / "faults";
  std::ofstream(faults) << "hold 0 299 " << (hives_.root() / "never").string() << "\n";
  ::setenv("TONVIK_FAULTS", faults.c_str(), 1);
  reg::Key::Create(reg::Root::CurrentUser, u"Software\\Quellbrook\\vandral\\Drives")
      ->SetString(u"D", FromUtf8(cue.string()));
  const fs::path music = hives_.root() / "music";
  const std::string held = (hives_.root() / "never").string() + ".held";
  ExpectCleanEnd(RunProbe({Mode("job"), music.string(), held}, hives_.root() / "probe.log"), 5);
  EXPECT_TRUE(!fs::exists(music) || fs::is_empty(music));  // no unfinished file left
}

INSTANTIATE_TEST_SUITE_P(Owners, ExitCase, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Bare" : "Dialogs"); });

}  // namespace
}  // namespace tonvik
