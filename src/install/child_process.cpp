#include "install/child_process.h"

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace tonvik::install {

namespace {

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

StartedProcess StartProcess(const std::string& path, const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  // The child starts with every signal at its default and none blocked,
  // whatever the setup's threads did to theirs (a GUI ignores SIGPIPE).
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  // glibc starts the child with clone(CLONE_VM | CLONE_VFORK) and hands the
  // errno of a failed execve back through the shared memory, so a file that
  // is missing, not executable or names a missing interpreter ("#!") is
  // reported here rather than as an exit code of 127.
  StartedProcess started;
  const int rc = ::posix_spawn(&started.pid, path.c_str(), nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    started.pid = -1;
    started.error = rc;
  }
  return started;
}

int WaitForExit(pid_t pid) {
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, 0);
    if (r == pid) return ExitCodeOf(status);
    if (r < 0 && errno != EINTR) return -1;
  }
}

std::optional<int> PollExit(pid_t pid) {
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return ExitCodeOf(status);
    if (r == 0) return std::nullopt;
    if (errno != EINTR) return -1;  // not our child (any more)
  }
}

}  // namespace tonvik::install
