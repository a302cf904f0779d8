// Installers and uninstallers as processes: started without a shell, the
// reasons they cannot be started, their exit codes.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "install/child_process.h"
#include "install/setup_env.h"
#include "platform/syserror.h"

namespace tonvik::install {
namespace {

using test::Lines;
using test::WriteFile;
using test::WriteScript;

TEST(ChildProcess, ReasonsAProgramCannotBeStarted) {
  tonvik::testing::TempHives temp;
  const test::fs::path dir = temp.root();
  WriteFile(dir / "plain", "#!/bin/sh\nexit 0\n");  // not executable
  WriteScript(dir / "orphan", "#!/nonexistent/interpreter\nexit 0\n");
  WriteScript(dir / "garbage", std::string("\x7f" "ELF\x02\x01\x01 broken"));
  test::fs::create_directories(dir / "folder");
  struct Case {
    std::string path;
    int error;
    const char* text;
  } cases[] = {
      {(dir / "missing").string(), ENOENT, "No such file or directory"},
      {(dir / "plain").string(), EACCES, "Permission denied"},
      {(dir / "orphan").string(), ENOENT, "No such file or directory"},  // the interpreter is missing
      {(dir / "folder").string(), EACCES, "Permission denied"},
      {(dir / "garbage").string(), ENOEXEC, "Exec format error"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const StartedProcess started = StartProcess(c.path, {"/Q:A", "/R:N"});
    EXPECT_EQ(started.pid, -1);
    EXPECT_EQ(started.error, c.error);
    EXPECT_EQ(ToUtf8(SystemErrorText(started.error)), c.text);
  }
}

TEST(ChildProcess, ArgumentsArriveAsGivenWithoutAShell) {
  tonvik::testing::TempHives temp;
  const test::fs::path script = temp.root() / "installer";
  const test::fs::path out = temp.root() / "arguments";
  WriteScript(script, "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out.string() + "'\n");
  const std::vector<std::string> arguments = {"/Q:A", "/R:N", "two words", "$HOME", "*", "a;exit 3"};
  const StartedProcess started = StartProcess(script.string(), arguments);
  ASSERT_GT(started.pid, 0) << started.error;
  EXPECT_EQ(WaitForExit(started.pid), 0);
  std::vector<std::string> expected = {script.string()};
  expected.insert(expected.end(), arguments.begin(), arguments.end());
  EXPECT_EQ(Lines(out), expected);
}

TEST(ChildProcess, ExitCodesAndSignals) {
  tonvik::testing::TempHives temp;
  struct Case {
    const char* body;
    int code;
  } cases[] = {
      {"exit 0", 0},
      {"exit 1", 1},
      {"exit 255", 255},
      // An exit status keeps 8 bits: 3010 arrives as 194.
      {"exit 3010", 3010 & 0xFF},
      {"kill -KILL $$", 128 + SIGKILL},
      {"kill -TERM $$", 128 + SIGTERM},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    const test::fs::path script = temp.root() / "run";
    WriteScript(script, std::string("#!/bin/sh\n") + c.body + "\n");
    const StartedProcess started = StartProcess(script.string(), {});
    ASSERT_GT(started.pid, 0) << started.error;
    EXPECT_EQ(WaitForExit(started.pid), c.code);
  }
}

TEST(ChildProcess, PollSeesARunningProgramThenItsEnd) {
  tonvik::testing::TempHives temp;
  const test::fs::path gate = temp.root() / "gate";
  const test::fs::path script = temp.root() / "run";
  // Runs until the test removes the gate.
  WriteFile(gate, "");
  WriteScript(script, "#!/bin/sh\nwhile [ -e '" + gate.string() + "' ]; do sleep 0.02; done\nexit 7\n");
  const StartedProcess started = StartProcess(script.string(), {});
  ASSERT_GT(started.pid, 0);
  EXPECT_EQ(PollExit(started.pid), std::nullopt);
  test::fs::remove(gate);
  std::optional<int> code;
  while (!(code = PollExit(started.pid))) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(*code, 7);
}

TEST(ChildProcess, SignalsTheSetupIgnoresAreTheChildsDefaults) {
  tonvik::testing::TempHives temp;
  const test::fs::path script = temp.root() / "run";
  // A program whose SIGPIPE is ignored shows "SigIgn" with bit 13 set.
  WriteScript(script, "#!/bin/sh\ngrep SigIgn /proc/self/status > '" + (temp.root() / "out").string() + "'\n");
  struct sigaction ignore = {}, old = {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &old);
  const StartedProcess started = StartProcess(script.string(), {});
  ::sigaction(SIGPIPE, &old, nullptr);
  ASSERT_GT(started.pid, 0);
  EXPECT_EQ(WaitForExit(started.pid), 0);
  const std::vector<std::string> lines = Lines(temp.root() / "out");
  ASSERT_EQ(lines.size(), 1u);
  const unsigned long long ignored = std::stoull(lines[0].substr(lines[0].find_first_of("0123456789abcdef")), nullptr, 16);
  EXPECT_EQ(ignored & (1ULL << (SIGPIPE - 1)), 0u) << lines[0];
}

}  // namespace
}  // namespace tonvik::install
