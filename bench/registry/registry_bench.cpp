// registry_bench <processes> <writes>
// That many processes each write a value of their own into one user hive
// `writes` times at once (every write locks, re-reads, replaces and syncs the
// hive). Prints "<seconds> <writes per second> <lost>", where lost counts
// the processes whose last value is not in the hive (anything but 0 is a fault).
// The hives are wherever XDG_CONFIG_HOME and XDG_CONFIG_DIRS point.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace {

constexpr char16_t kKey[] = u"Software\\Quellbrook\\vandral";

std::u16string ValueName(int writer) { return u"Writer" + std::u16string(1, char16_t(u'A' + writer)); }

}  // namespace

int main(int argc, char** argv) {
  using namespace tonvik::reg;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s processes writes\n", argv[0]);
    return 2;
  }
  const int processes = std::atoi(argv[1]), writes = std::atoi(argv[2]);
  if (processes < 1 || processes > 26 || writes < 1) return 2;
  if (!Key::Create(Root::CurrentUser, kKey)) return 1;
  const auto start = std::chrono::steady_clock::now();
  std::vector<pid_t> children;
  for (int p = 0; p < processes; ++p) {
    const pid_t child = fork();
    if (child == 0) {
      auto key = Key::Open(Root::CurrentUser, kKey);
      for (int i = 1; i <= writes; ++i)
        if (!key || !key->SetDword(ValueName(p), i)) _exit(1);
      _exit(0);
    }
    children.push_back(child);
  }
  int failed = 0;
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    failed += !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int lost = 0;
  auto key = Key::Open(Root::CurrentUser, kKey);
  for (int p = 0; p < processes; ++p) {
    uint32_t type = 0;
    std::vector<uint8_t> data;
    const bool found = key && key->Query(ValueName(p), &type, &data) && data.size() == 4;
    lost += !found || (data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24) != writes;
  }
  std::printf("%.3f %.0f %d\n", seconds, processes * writes / seconds, lost);
  return failed || lost ? 1 : 0;
}
