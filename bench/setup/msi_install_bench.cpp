// msi_install_bench <msi.so> <package> [command line]: installs the package
// as the setup does (no user interface of the engine's own, progress
// messages counted) and prints the result and the number of messages.
#include <cstdio>
#include <string>

#include "modules/msi/msi.h"
#include "platform/dynamic_library.h"
#include "platform/text.h"

namespace {

int g_progress = 0;

int Count(void*, uint32_t type, const char16_t*) {
  if ((type & 0xFF000000) == INSTALLMESSAGE_PROGRESS) ++g_progress;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <msi.so> <package> [command line]\n", argv[0]);
    return 2;
  }
  tonvik::DynamicLibrary msi(argv[1]);
  auto set_ui = msi.Function<MsiSetInternalUIFn>("MsiSetInternalUI");
  auto set_handler = msi.Function<MsiSetExternalUIWFn>("MsiSetExternalUIW");
  auto install = msi.Function<MsiInstallProductWFn>("MsiInstallProductW");
  if (!set_ui || !set_handler || !install) {
    std::fprintf(stderr, "%s: %s\n", argv[1], msi.error().c_str());
    return 2;
  }
  set_ui(INSTALLUILEVEL_NONE, nullptr);
  set_handler(Count, kSetupMessageFilter, nullptr);
  const std::u16string package = tonvik::FromUtf8(argv[2]);
  const std::u16string line = argc > 3 ? tonvik::FromUtf8(argv[3]) : std::u16string();
  const uint32_t result = install(package.c_str(), argc > 3 ? line.c_str() : nullptr);
  std::printf("%u %d\n", result, g_progress);
  msi.Leak();  // the engine's libraries stay until exit
  return result == ERROR_SUCCESS ? 0 : 1;
}
