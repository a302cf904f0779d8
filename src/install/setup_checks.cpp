#include "install/setup_checks.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <cstring>

namespace tonvik::install {

namespace {

// The rule both components share: a first character above `digit`, or a
// second character that is not '.' (the terminator of a one-character
// version counts as such, as it does in the system's own check).
bool VersionAbove(std::string_view version, char digit) {
  if (version.empty()) return false;
  if (version[0] > digit) return true;
  return version.size() < 2 || version[1] != '.';
}

}  // namespace

bool WindowsVersionSupported(int major, int minor) { return major * 100 + minor >= 500; }

bool IsAdministrator() { return ::geteuid() == 0; }

bool IsWow64Process() {
  if constexpr (sizeof(void*) == 8) {
    return false;  // a native build
  } else {
    // A 32-bit process: the kernel names its machine with "64" when it is a
    // 64-bit one (x86_64, aarch64, ...), unless the process asked for a
    // 32-bit personality.
    struct utsname names;
    if (::uname(&names) != 0) return false;
    return std::strstr(names.machine, "64") != nullptr;
  }
}

bool MsiVersionSufficient(std::string_view version) { return VersionAbove(version, '1'); }

bool WmaVersionSufficient(std::string_view version) { return VersionAbove(version, '8'); }

}  // namespace tonvik::install
