// Installers and uninstallers started by the setup: posix_spawn of a path with
// the given arguments (argv[0] is the path), the exit code read. Logic only.
#pragma once
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace tonvik::install {

struct StartedProcess {
  pid_t pid = -1;
  int error = 0;  // errno when it could not be started (pid -1)
};

// Starts the program without a shell. A file that does not exist, is not
// executable or cannot be loaded gives its errno (also when the loader fails
// after the fork, e.g. a script with a missing interpreter).
StartedProcess StartProcess(const std::string& path, const std::vector<std::string>& arguments);
// Waits without limit; the exit code, or 128 + the signal that ended it.
int WaitForExit(pid_t pid);
// The exit code when the process has ended (it is reaped then), nullopt while
// it runs.
std::optional<int> PollExit(pid_t pid);

}  // namespace tonvik::install
