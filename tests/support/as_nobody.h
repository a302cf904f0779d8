// Runs a piece of a test in a forked child as the user nobody, for what the
// process may not do: root writes anywhere, so a test of an unwritable folder
// drops to nobody first (a process not run as root stays who it is).
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>

namespace tonvik::testing {

// `prepare` runs in the child before it drops the user, `body` after; the
// child hands back what `body` returns. nullopt when the child could not
// drop the user, either threw, or the child did not end cleanly.
inline std::optional<std::string> AsNobody(const std::function<void()>& prepare,
                                           const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child < 0) return std::nullopt;
  if (child == 0) {
    ::close(fds[0]);
    // Nothing may unwind out of the child into the test's own code.
    std::string message;
    try {
      prepare();
      if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
      message = body();
    } catch (...) {
      ::_exit(5);
    }
    const bool sent = ::write(fds[1], message.data(), message.size()) == static_cast<ssize_t>(message.size());
    ::_exit(sent ? 0 : 4);
  }
  ::close(fds[1]);
  std::string message;
  char buffer[256];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return message;
}

}  // namespace tonvik::testing
