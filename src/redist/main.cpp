// instmsiw / wmfdist95: puts the module carried inside this program into the
// system modules folder. Options: /Q:A /R:N. Exit codes in module_installer.h.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/system_modules.h"
#include "redist/module_installer.h"

// The module's bytes, linked in by embedded_module.S.
extern "C" const uint8_t tonvik_embedded_module[];
extern "C" const uint8_t tonvik_embedded_module_end[];

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (!tonvik::redist::AcceptArguments(arguments)) {
    std::fprintf(stderr, "Usage: %s [/Q:A] [/R:N]\n", argv[0]);
    return tonvik::redist::kBadArguments;
  }
  std::string error;
  const int result = tonvik::redist::InstallModule(
      tonvik::SystemModulesFolder(), TONVIK_EMBEDDED_MODULE_NAME, tonvik_embedded_module,
      static_cast<size_t>(tonvik_embedded_module_end - tonvik_embedded_module), &error);
  if (result == tonvik::redist::kInstallFailed) std::fprintf(stderr, "%s\n", error.c_str());
  return result;
}
